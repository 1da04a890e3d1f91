// The logger: texts, control codes, the three colour modes, the log file, the front end, and the
// module's instance with its teardown at exit.
#include "core/log/Logger.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/Utils/Platform.h"
#include "core/fileio/DiskFile.h"
#include "core/log/DebugOutputSink.h"
#include "core/log/LogColour.h"
#include "core/memory/HeapRegistry.h"
#include "core/thread/Lock.h"

namespace {

const std::int32_t holdColour = colourCode(LogColour::HoldColour);

const char* const openBlockStart = "\n<div style=\"color: ";
const char* const openSpanStart = "<span style=\"color: ";
const char* const openEnd = "\">";
const char* const closeBlock = "\n</div>\n";
const char* const closeSpan = "</span>";
const char* const closeSpanAtEnd = "\n</span>";
const char* const lineEnd = "<br/>";
const char* const documentStart = "<html>\n<body>\n";
const char* const documentEnd = "\n</body>\n</html>\n";

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
    emitText(text);
    endText();
}

void Logger::emitText(const char* text) {
    if (atLineStart) {
        lineLength = 0;
        atLineStart = false;
    }
    for (const char* p = text; *p != '\0' && lineLength < lineBufferSize - 1; ++p) {
        lineBuffer[lineLength++] = *p;
    }
    lineBuffer[lineLength] = '\0';
    if ((sinkMask & debugSinkBit) != 0 && debugSink != nullptr) {
        debugSink->write(text);
    }
    if ((sinkMask & fileSinkBit) != 0 && fileOk) {
        writeToFile(text);
    }
}

void Logger::endText() {
    if (blockColour != holdColour && textColour != colourCode(LogColour::Default)) {
        putControl(colourCode(LogColour::Default));
    }
}

void Logger::writeEscaped(const char* text) {
    ScopedLock guard(lock);
    if (text == nullptr || silenced()) {
        return;
    }
    if (colourMode != htmlMode) {
        emitText(text);
        endText();
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

void Logger::putControl(std::int32_t code) {
    ScopedLock guard(lock);
    if (silenced()) {
        return;
    }
    if (isTextColour(code)) {
        setColour(code);
        return;
    }
    if (code == holdColour) {
        setBlockColour(holdColour);
        return;
    }
    if (code != newLineCode) {
        // Below 0, 10 to 12 and above 13: nothing.
        return;
    }
    if (colourMode == htmlMode) {
        writeText(lineEnd);
    }
    writeText("\n");
    setColour(colourCode(LogColour::Default));
    atLineStart = true;
}

void Logger::setColour(std::int32_t code) {
    ScopedLock guard(lock);
    if (silenced() || !isTextColour(code)) {
        return;
    }
    // In the block state a text colour stays until another colour replaces it.
    if (code == colourCode(LogColour::Default) && blockColour == holdColour) {
        return;
    }
    textColour = code;
    // The default colour is the block's; blockColour is a colour here, the block state having
    // returned above.
    const std::int32_t shown = code != colourCode(LogColour::Default) ? code : blockColour;
    switch (colourMode) {
    case ansiMode:
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
        break;
    case consoleMode:
        // A failure (no console) changes nothing worth reporting.
        platform().SetConsoleTextAttribute(platform().GetStdHandle(STD_OUTPUT_HANDLE), consoleColourAttribute(shown));
        break;
    case htmlMode:
        spanStep(code);
        break;
    default:
        break;
    }
}

void Logger::spanStep(std::int32_t code) {
    if (silenced() || code == blockColour) {
        return;
    }
    // The markup is text too: with the text colour at 0 it does not end the colour it opens.
    const std::int32_t saved = textColour;
    textColour = colourCode(LogColour::Default);
    if (spanOpen) {
        spanOpen = false;
        writeText(closeSpan);
    }
    if (code == colourCode(LogColour::Default)) {
        return;
    }
    writeText(openSpanStart);
    writeText(htmlColourText(code));
    writeText(openEnd);
    spanOpen = true;
    textColour = saved;
}

void Logger::writeOpenBlock(std::int32_t code) {
    writeText(openBlockStart);
    writeText(htmlColourText(code));
    writeText(openEnd);
}

void Logger::setBlockColour(std::int32_t code) {
    ScopedLock guard(lock);
    if (silenced() || !(isTextColour(code) || code == holdColour) || code == blockColour) {
        return;
    }
    if (colourMode == htmlMode) {
        if (blockColour != holdColour) {
            blockColour = colourCode(LogColour::Default);
            writeText(closeBlock);
        }
        writeOpenBlock(code);
    }
    blockColour = code;
    if (code != holdColour) {
        putControl(code);
    }
}

void Logger::writeToFile(const char* text) {
    if (logFile == nullptr) {
        return;
    }
    // A text that arrives while the log file is being written can only come from inside the file
    // layer (an allocation or platform call made by the write); the file object is in the middle of
    // an operation then, so the text goes to the other sinks only.
    if (fileWriteDepth > 0) {
        return;
    }
    ++fileWriteDepth;
    if (logFile->state == FileState::Closed) {
        fileOk = logFile->OpenAppend(logFileName);
    }
    if (fileOk) {
        fileOk = logFile->WriteLine(text, 1);
    } else {
        logFile->Close();
    }
    --fileWriteDepth;
    // Closed after every outermost write, so that the log is complete on disk whenever the
    // process dies and other programs may read it meanwhile.
    if (fileWriteDepth == 0 && logFile->state != FileState::Closed) {
        logFile->Close();
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
    const std::int32_t savedLevel = level;
    level = messageLevel;
    writeText(text);
    putControl(newLineCode);
    level = savedLevel;
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

bool Logger::attachLogFile() {
    ScopedLock guard(lock);
    if (fileLogging || fileWriteDepth > 0) {
        return false;
    }
    File* file = new (HeapCategory::Engine) DiskFile(true);
    if (file == nullptr) {
        return false;
    }
    const std::uint32_t savedMask = sinkMask;
    logFile = file;
    fileOk = true;
    fileLogging = true;
    sinkMask |= fileSinkBit;
    writeDocumentOpening();
    if (!fileOk) {
        // The file cannot be opened for appending: nothing is attached after all.
        delete logFile;
        logFile = nullptr;
        fileOk = true;
        fileLogging = false;
        sinkMask = savedMask;
        return false;
    }
    return true;
}

void Logger::writeDocumentOpening() {
    // Straight to the file: the opening belongs to the document, not to the current line, the
    // other sinks or the colour state.
    if (colourMode != htmlMode) {
        writeToFile("");
        return;
    }
    // Each piece opens the file again: after a failed one the rest would reopen it only to leave
    // a document without its start.
    const char* const pieces[] = {documentStart, openBlockStart, htmlColourText(blockColour), openEnd};
    for (const char* piece : pieces) {
        if (!fileOk) {
            return;
        }
        writeToFile(piece);
    }
}

void Logger::writeClosingMarkup() {
    if (spanOpen) {
        // With the block colour 0 the span's closing does not reset the text colour through a
        // span step of its own.
        const std::int32_t saved = blockColour;
        blockColour = colourCode(LogColour::Default);
        writeText(closeSpanAtEnd);
        blockColour = saved;
    }
    if (blockColour != colourCode(LogColour::Default)) {
        blockColour = colourCode(LogColour::Default);
        writeText(closeBlock);
    }
    writeText(documentEnd);
}

void Logger::releaseLogFile() {
    delete logFile;
    logFile = nullptr;
    logFileName[0] = '\0';
    sinkMask &= ~fileSinkBit;
}

bool Logger::closeLogFile() {
    ScopedLock guard(lock);
    if (!fileLogging) {
        return false;
    }
    // Called from inside the file layer while the file is being written: the object is in use.
    if (fileWriteDepth > 0) {
        return false;
    }
    if ((sinkMask & fileSinkBit) != 0) {
        const std::uint32_t savedMask = sinkMask;
        const std::int32_t savedLevel = level;
        sinkMask = fileSinkBit;
        // The document is closed whatever the level: a silenced logger must not leave it open.
        if (silenced()) {
            level = threshold;
        }
        if (colourMode == htmlMode) {
            writeClosingMarkup();
        }
        level = savedLevel;
        sinkMask = savedMask;
        if (fileOk && logFile != nullptr && logFile->state != FileState::Closed) {
            logFile->Close();
        }
    }
    // Also when file output was switched off: the file object and its name go with the file.
    releaseLogFile();
    fileLogging = false;
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
        if (colourMode == htmlMode) {
            writeClosingMarkup();
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
