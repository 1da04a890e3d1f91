// The abort poll and the description's formatter, through the platform table.
#include "wave/WaveHostCalls.h"

#include "core/Utils/Platform.h"
#include "core/Utils/TextCopy.h"

bool abortSignalled(void* abortEvent) {
    if (abortEvent == nullptr) {
        return false;
    }
    return platform().WaitForSingleObject(static_cast<HANDLE>(abortEvent), 0) == WAIT_OBJECT_0;
}

void formatDescription(char (&text)[descriptionSize], std::int32_t sampleRate, std::int32_t bitsPerSample,
                       const char* channels, const char* codec) {
    // wsprintfA knows no buffer size and writes up to 1024 characters and a NUL. The widest
    // arguments give 65, but the text is formatted into a buffer of the formatter's own limit and
    // then copied, so the bound does not rest on the arguments alone.
    char formatted[1025] = {};
    const int length = platform().wsprintfA(formatted, "%ldHz, %ld-bit, %hs (%hs) Wave Audio",
                                            static_cast<long>(sampleRate), static_cast<long>(bitsPerSample),
                                            channels, codec);
    copyText(text, descriptionSize, length < 0 ? "" : formatted);
}
