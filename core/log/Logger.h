// Logger: the module's one log. A text goes to the debugger, to an attached log file, or both;
// colour is whatever the output understands: escape sequences for a debugger that shows them, the
// console's text attributes, or, for a log read in a browser, HTML spans and blocks in the text.
// It comes into being right after the heap registry, so that its sink and lock have somewhere to
// come from, and goes before it at exit for the same reason. Left as built it writes to the
// debugger and colours the console; the plugin itself never writes to it.
//
// Every public operation holds the logger's own recursive lock, so texts from several threads
// come out whole, one after the other. The lock is taken before the file lock: nothing may call
// the logger while it holds the file lock or a heap lock.
#pragma once

#include <cstdarg>
#include <cstdint>

class File;
class Lock;
class LogSink;

class Logger {
public:
    // Bits of sinkMask.
    static constexpr std::uint32_t fileSinkBit = 1;
    static constexpr std::uint32_t debugSinkBit = 2;
    // Values of colourMode; any other value colours nothing.
    static constexpr std::uint32_t ansiMode = 1;
    static constexpr std::uint32_t consoleMode = 2;
    static constexpr std::uint32_t htmlMode = 3;
    // putControl's codes besides the colours 0 to 8 and the block state 9.
    static constexpr std::int32_t newLineCode = 13;

    static constexpr std::uint32_t logFileNameSize = 128;
    static constexpr std::uint32_t lineBufferSize = 256;
    static constexpr std::uint32_t escapeBufferSize = 64;
    // The longest text logMessage writes; longer messages are cut to it.
    static constexpr std::uint32_t messageLength = 1023;

    // The defaults: debugger sink only, console mode, block colour white, level and threshold 2,
    // no log file. The debugger sink and the lock come from the heap registry; when either cannot
    // be had it stays null (no debugger output and ANSI sequences; no locking).
    Logger();
    // Runs the teardown if it has not run yet.
    ~Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    // Sends text to every sink whose bit is set and keeps the start of the line it belongs to in
    // lineBuffer (255 characters at most). Afterwards the colour falls back to the block's, unless
    // the block state 9 holds it. Null, or level below threshold: nothing.
    void writeText(const char* text);
    // Like writeText, but in HTML mode '<', '>', '&' and '"' are written as entities; for names
    // and other text from outside that must not become markup. Counts as one text.
    void writeEscaped(const char* text);
    // Control codes: 0 to 8 set the text colour, 9 the block state, 13 ends the line (with
    // "<br/>" in HTML mode) and resets the text colour; every other code does nothing.
    void putControl(std::int32_t code);
    // Sets the text colour, 0 to 8 (0 returns to the block's colour); other codes do nothing.
    void setColour(std::int32_t code);
    // Sets the block colour, 0 to 8, or the block state 9; other codes do nothing. In HTML mode
    // this closes the current div block and opens one in the new colour.
    void setBlockColour(std::int32_t code);

    // Formats a message into a bounded buffer on the stack (no allocation; longer messages are
    // cut to messageLength characters) and, when messageLevel reaches the threshold, writes it as
    // one text followed by a line end. The logger's own level is left as it was. The text is
    // written as given: in HTML mode it may carry markup.
    void logMessage(std::int32_t messageLevel, const char* format, ...) __attribute__((format(gnu_printf, 3, 4)));
    void logMessageV(std::int32_t messageLevel, const char* format, std::va_list arguments)
        __attribute__((format(gnu_printf, 3, 0)));

    // Settings. Each takes effect with the next output operation.
    void setLevel(std::int32_t value);
    void setThreshold(std::int32_t value);
    void setColourMode(std::uint32_t mode);
    void setSinkMask(std::uint32_t mask);
    // Copies the name of the log file. Null, or a name that does not fit in 128 characters with
    // its NUL: false, and nothing changes. The next outermost file write opens the new name.
    bool setLogFileName(const char* name);

    // Starts file logging to logFileName: creates the log file object, sets fileLogging and the
    // file bit of sinkMask, and writes the document's opening to the file alone (in HTML mode
    // "<html>\n<body>\n" and the current block's open markup; otherwise nothing, which still
    // creates the file). False, with nothing changed, when file logging is already active, when
    // the file object cannot be allocated, or when the file cannot be opened for appending.
    bool attachLogFile();
    // Finishes and detaches the log file: in HTML mode the closing markup (open span, open block,
    // end of document) goes to the file alone, whatever the level. False, with nothing written,
    // when file logging is not active.
    bool closeLogFile();
    // Closes the log file, writes the closing markup to the sinks still enabled (HTML mode),
    // deletes the debugger sink without sending a partial line, and destroys the lock. Runs once;
    // afterwards the logger still answers every call but only colours the console.
    void teardown();

    // State, in this order. Read by tests; changed only through the operations above.
    std::uint32_t sinkMask;
    std::int32_t textColour;
    std::int32_t blockColour;
    std::uint32_t colourMode;
    LogSink* debugSink;
    char logFileName[logFileNameSize];
    std::uint32_t fileWriteDepth;
    char escapeBuffer[escapeBufferSize];
    std::int32_t level;
    std::int32_t threshold;
    char lineBuffer[lineBufferSize];
    std::uint32_t lineLength;
    File* logFile;
    Lock* lock;
    bool spanOpen;
    bool atLineStart;
    bool fileOk;
    bool fileLogging;

private:
    // The colour writer of one mode: the code set and the colour it shows (the block's for 0).
    using ColourWriter = void (Logger::*)(std::int32_t code, std::int32_t shown);

    bool silenced() const { return level < threshold; }

    // The steps behind the public operations, which have taken the lock and passed the level
    // test already.
    void sendText(const char* text);
    void applyControl(std::int32_t code);
    void applyColour(std::int32_t code);
    void applyBlockColour(std::int32_t code);

    // A text's way to the line buffer and the sinks, without the fall back of the text colour:
    // also the raw write of markup, which must not colour.
    void emitText(const char* text);
    // After a text: the text colour returns to the block's unless the block state holds it.
    void endText();
    void keepInLine(const char* text);

    void writeAnsiColour(std::int32_t code, std::int32_t shown);
    void writeConsoleColour(std::int32_t code, std::int32_t shown);
    void writeHtmlColour(std::int32_t code, std::int32_t shown);
    void writeOpenBlock(std::int32_t code);

    // The log file (LoggerFile.cpp).
    void writeToFile(const char* text);
    // The line buffer and the file alone, for the document's own markup when it is closed.
    void emitToFile(const char* text);
    void writeDocumentOpening();
    // The closing markup (open span, open block, end of document) through write; when silent
    // only the block is forgotten.
    void writeClosingMarkup(void (Logger::*write)(const char*), bool silent);
    void releaseLogFile();

    bool tornDown;
};

// The module's logger.
Logger& getLogger();

// The front end for the rest of a program: logMessage on the module's logger.
void logMessage(std::int32_t messageLevel, const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));
