// LogSink: where the logger's texts go besides its log file. The one sink of the system is the
// debugger's (DebugOutputSink); the logger owns it and calls it under the logger's lock.
#pragma once

class LogSink {
public:
    LogSink() = default;
    LogSink(const LogSink&) = delete;
    LogSink& operator=(const LogSink&) = delete;

    // Slot 0.
    virtual ~LogSink();
    // Slot 1. Takes a NUL-terminated text, whole; a sink may hold part of it back for a later
    // write. Never called with null.
    virtual void write(const char* text) = 0;
};
