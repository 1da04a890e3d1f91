// DebugOutputSink: the logger's way to an attached debugger. A debugger shows each
// OutputDebugStringA call as a line of its own, so the sink collects a line and sends it without
// its line feed once it ends; a line too long for the fixed buffer is sent as it fills. What has
// not ended when the sink goes is never sent.
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
