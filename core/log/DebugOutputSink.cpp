// The debugger sink: line splitting into a fixed buffer.
#include "core/log/DebugOutputSink.h"

#include "core/Utils/Platform.h"

DebugOutputSink::~DebugOutputSink() = default;

void DebugOutputSink::send() {
    buffer[length] = '\0';
    platform().OutputDebugStringA(buffer);
    length = 0;
}

void DebugOutputSink::write(const char* text) {
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '\n') {
            send();
            continue;
        }
        // length never passes pieceLength, so the NUL written by send always fits.
        if (length >= pieceLength) {
            send();
        }
        buffer[length++] = *p;
    }
}
