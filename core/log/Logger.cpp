// The logger: texts, control codes, a writer per colour mode, the front end, and the module's
// instance with its teardown at exit. The log file is in LoggerFile.cpp.
#include "core/log/Logger.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/Utils/Platform.h"
#include "core/log/DebugOutputSink.h"
#include "core/log/LogColour.h"
#include "core/log/LogMarkup.h"
#include "core/memory/HeapRegistry.h"
#include "core/thread/Lock.h"

using namespace logMarkup;

namespace {

const std::int32_t holdColour = colourCode(LogColour::HoldColour);

// The entity that stands for a character in HTML text, or null for a character that stands for
// itself.
const char* entityFor(char c) {
    switch (c) {
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '&':
        return "&amp;";
    case '"':
        return "&quot;";
    default:
        return nullptr;
    }
}

} // namespace

Logger::Logger()
    : sinkMask(debugSinkBit), textColour(colourCode(LogColour::Default)), blockColour(colourCode(LogColour::White)),
      colourMode(consoleMode), debugSink(nullptr), logFileName(), fileWriteDepth(0), escapeBuffer(), level(2),
      threshold(2), lineBuffer(), lineLength(0), logFile(nullptr), lock(nullptr), spanOpen(false), atLineStart(true),
      fileOk(true), fileLogging(false), tornDown(false) {
    // Either may come back null; the logger then runs without debugger output or without locking.
    debugSink = new (HeapCategory::Engine) DebugOutputSink();
    lock = new (HeapCategory::Engine) Lock("logger");
    // A lock the threads library could not make is no lock at all.
    if (lock != nullptr && !lock->made) {
        delete lock;
        lock = nullptr;
    }
}

Logger::~Logger() { teardown(); }

void Logger::writeText(const char* text) {
    ScopedLock guard(lock);
    if (text == nullptr || silenced()) {
        return;
    }
    sendText(text);
}

void Logger::putControl(std::int32_t code) {
    ScopedLock guard(lock);
    if (silenced()) {
        return;
    }
    applyControl(code);
}

void Logger::setColour(std::int32_t code) {
    ScopedLock guard(lock);
    if (silenced()) {
        return;
    }
    applyColour(code);
}

void Logger::setBlockColour(std::int32_t code) {
    ScopedLock guard(lock);
    if (silenced()) {
        return;
    }
    applyBlockColour(code);
}

void Logger::sendText(const char* text) {
    emitText(text);
    endText();
}

void Logger::keepInLine(const char* text) {
    if (atLineStart) {
        lineLength = 0;
        atLineStart = false;
    }
    for (const char* p = text; *p != '\0' && lineLength < lineBufferSize - 1; ++p) {
        lineBuffer[lineLength++] = *p;
    }
    lineBuffer[lineLength] = '\0';
}

void Logger::emitText(const char* text) {
    keepInLine(text);
    if ((sinkMask & debugSinkBit) != 0 && debugSink != nullptr) {
        debugSink->write(text);
    }
    if ((sinkMask & fileSinkBit) != 0 && fileOk) {
        writeToFile(text);
    }
}

void Logger::endText() {
    if (blockColour != holdColour && textColour != colourCode(LogColour::Default)) {
        applyColour(colourCode(LogColour::Default));
    }
}

void Logger::writeEscaped(const char* text) {
    ScopedLock guard(lock);
    if (text == nullptr || silenced()) {
        return;
    }
    if (colourMode != htmlMode) {
        sendText(text);
        return;
    }
    // Escaped in pieces through a fixed buffer: the text may be of any length.
    char piece[lineBufferSize] = {};
    std::uint32_t used = 0;
    bool emitted = false;
    for (const char* p = text; *p != '\0'; ++p) {
        const char* entity = entityFor(*p);
        const char* add = entity != nullptr ? entity : p;
        const std::uint32_t addLength = entity != nullptr ? static_cast<std::uint32_t>(std::strlen(entity)) : 1;
        if (used + addLength >= sizeof piece) {
            piece[used] = '\0';
            emitText(piece);
            emitted = true;
            used = 0;
        }
        std::memcpy(piece + used, add, addLength);
        used += addLength;
    }
    if (used > 0 || !emitted) {
        piece[used] = '\0';
        emitText(piece);
    }
    endText();
}

void Logger::applyControl(std::int32_t code) {
    if (isTextColour(code)) {
        applyColour(code);
        return;
    }
    if (code == holdColour) {
        applyBlockColour(holdColour);
        return;
    }
    if (code != newLineCode) {
        // Below 0, 10 to 12 and above 13: nothing.
        return;
    }
    // The line end is a text like any other: it ends a colour set since the last text.
    if (colourMode == htmlMode) {
        sendText(lineEnd);
    }
    sendText("\n");
    applyColour(colourCode(LogColour::Default));
    atLineStart = true;
}

void Logger::applyColour(std::int32_t code) {
    if (!isTextColour(code)) {
        return;
    }
    // In the block state a text colour stays until another colour replaces it.
    if (code == colourCode(LogColour::Default) && blockColour == holdColour) {
        return;
    }
    textColour = code;
    // Indexed by colourMode; a mode without a writer colours nothing.
    static constexpr ColourWriter writers[] = {nullptr, &Logger::writeAnsiColour, &Logger::writeConsoleColour,
                                               &Logger::writeHtmlColour};
    if (colourMode >= sizeof writers / sizeof writers[0] || writers[colourMode] == nullptr) {
        return;
    }
    // The default colour is the block's; blockColour is a colour here, the block state having
    // returned above.
    const std::int32_t shown = code != colourCode(LogColour::Default) ? code : blockColour;
    (this->*writers[colourMode])(code, shown);
}

void Logger::writeAnsiColour(std::int32_t, std::int32_t shown) {
    // Escape sequences are for a debugger that understands them: never in the file.
    escapeBuffer[0] = '\x1b';
    escapeBuffer[1] = '[';
    escapeBuffer[2] = '3';
    escapeBuffer[3] = ansiColourDigit(shown);
    escapeBuffer[4] = 'm';
    escapeBuffer[5] = '\0';
    if (debugSink != nullptr) {
        debugSink->write(escapeBuffer);
    }
}

void Logger::writeConsoleColour(std::int32_t, std::int32_t shown) {
    // A failure (no console) changes nothing worth reporting.
    platform().SetConsoleTextAttribute(platform().GetStdHandle(STD_OUTPUT_HANDLE), consoleColourAttribute(shown));
}

// A colour other than the block's runs in a span of its own; the markup is written raw, so that
// it does not end the colour it opens.
void Logger::writeHtmlColour(std::int32_t code, std::int32_t) {
    if (code == blockColour) {
        return;
    }
    if (spanOpen) {
        spanOpen = false;
        emitText(closeSpan);
    }
    if (code == colourCode(LogColour::Default)) {
        return;
    }
    emitText(openSpanStart);
    emitText(htmlColourText(code));
    emitText(openEnd);
    spanOpen = true;
}

void Logger::writeOpenBlock(std::int32_t code) {
    emitText(openBlockStart);
    emitText(htmlColourText(code));
    emitText(openEnd);
}

void Logger::applyBlockColour(std::int32_t code) {
    if (!(isTextColour(code) || code == holdColour) || code == blockColour) {
        return;
    }
    if (colourMode == htmlMode) {
        if (blockColour != holdColour) {
            blockColour = colourCode(LogColour::Default);
            emitText(closeBlock);
            // The text colour ends with its block.
            textColour = colourCode(LogColour::Default);
        }
        writeOpenBlock(code);
    }
    blockColour = code;
    if (code != holdColour) {
        applyColour(code);
    }
}

void Logger::logMessage(std::int32_t messageLevel, const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    logMessageV(messageLevel, format, arguments);
    va_end(arguments);
}

void Logger::logMessageV(std::int32_t messageLevel, const char* format, std::va_list arguments) {
    if (format == nullptr) {
        return;
    }
    char text[messageLength + 1] = {};
    // The buffer bounds the formatting: a longer message is cut, never written past the end.
    const int formatted = std::vsnprintf(text, sizeof text, format, arguments);
    if (formatted < 0) {
        // An encoding error leaves the buffer's content undefined.
        text[0] = '\0';
    }
    text[messageLength] = '\0';

    ScopedLock guard(lock);
    // The message's own level decides, not the logger's.
    if (messageLevel < threshold) {
        return;
    }
    sendText(text);
    applyControl(newLineCode);
}

void Logger::setLevel(std::int32_t value) {
    ScopedLock guard(lock);
    level = value;
}

void Logger::setThreshold(std::int32_t value) {
    ScopedLock guard(lock);
    threshold = value;
}

void Logger::setColourMode(std::uint32_t mode) {
    ScopedLock guard(lock);
    colourMode = mode;
}

void Logger::setSinkMask(std::uint32_t mask) {
    ScopedLock guard(lock);
    sinkMask = mask;
}

bool Logger::setLogFileName(const char* name) {
    if (name == nullptr) {
        return false;
    }
    // A name without its NUL in the first 128 bytes does not fit; it is refused, not cut.
    const void* terminator = std::memchr(name, '\0', logFileNameSize);
    if (terminator == nullptr) {
        return false;
    }
    ScopedLock guard(lock);
    std::memcpy(logFileName, name, static_cast<std::size_t>(static_cast<const char*>(terminator) - name) + 1);
    return true;
}

void Logger::teardown() {
    {
        ScopedLock guard(lock);
        if (tornDown) {
            return;
        }
        tornDown = true;
        closeLogFile();
        // The debugger's stream gets its own closing tags, through the sinks still enabled.
        if (colourMode == htmlMode) {
            writeClosingMarkup(&Logger::emitText, silenced());
        }
        // A line the debugger has not had yet is dropped with the sink.
        delete debugSink;
        debugSink = nullptr;
    }
    delete lock;
    lock = nullptr;
}

namespace {

// The module's logger lives in static storage and is never destroyed: its teardown runs from the
// exit list, and calls made after it (by later exit routines) find a logger that writes nowhere.
alignas(Logger) unsigned char moduleLoggerStorage[sizeof(Logger)];
Logger* moduleLogger = nullptr;

void teardownModuleLogger() { moduleLogger->teardown(); }

Logger* buildModuleLogger() {
    moduleLogger = new (moduleLoggerStorage) Logger();
    // Registered after the heap registry's teardown, so it runs before it and still gives the
    // sink, the lock and any log file back to the registry.
    std::atexit(teardownModuleLogger);
    return moduleLogger;
}

// Built directly after the heap registry, before every ordinary static object.
struct LoggerSecond {
    LoggerSecond() {
        if (moduleLogger == nullptr) {
            buildModuleLogger();
        }
    }
};
LoggerSecond loggerSecond __attribute__((init_priority(102)));

} // namespace

Logger& getLogger() { return moduleLogger != nullptr ? *moduleLogger : *buildModuleLogger(); }

void logMessage(std::int32_t messageLevel, const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    getLogger().logMessageV(messageLevel, format, arguments);
    va_end(arguments);
}
