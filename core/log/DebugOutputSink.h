// DebugOutputSink: sends the logger's output to an attached debugger, one OutputDebugStringA call
// per line. Lines go out without their line feed; a line longer than the buffer goes out in
// pieces of 247 characters; a line not yet ended waits in the buffer for a later write and is lost
// if the sink is destroyed first.
#pragma once

#include <cstdint>

#include "core/log/LogSink.h"

class DebugOutputSink : public LogSink {
public:
    static constexpr std::uint32_t bufferSize = 248;
    // The longest piece sent at once; one more byte holds its NUL.
    static constexpr std::uint32_t pieceLength = bufferSize - 1;

    DebugOutputSink() = default;
    // Slot 0. Drops a partial line without sending it.
    ~DebugOutputSink() override;
    // Slot 1. Sends every line the text completes, and every full piece, through the platform
    // table's OutputDebugStringA.
    void write(const char* text) override;

    char buffer[bufferSize] = {};
    std::uint32_t length = 0;

private:
    void send();
};
