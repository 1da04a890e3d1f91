// The logger: the debugger sink's line splitting, each colour mode's output in order (the
// teardown's included), the line buffer, the HTML log file byte for byte, file failures,
// allocation failures, the front end, and many threads writing at once. The platform table's debugger and console calls
// are replaced by recorders, so each test sees exactly what the sinks received.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "core/Utils/Platform.h"
#include "core/fileio/DiskFile.h"
#include "support/FileTestSupport.h"
#include "core/log/DebugOutputSink.h"
#include "core/log/Logger.h"
#include "core/thread/Lock.h"
#include "support/FaultHeap.h"
#include "support/PlatformFakes.h"
#include "support/Threads.h"

namespace {

std::mutex eventGuard;
std::vector<std::string> events;

void record(const std::string& event) {
    std::lock_guard<std::mutex> hold(eventGuard);
    events.push_back(event);
}

void WINAPI recordDebugString(LPCSTR text) { record(text); }
HANDLE WINAPI fakeStdHandle(DWORD) { return reinterpret_cast<HANDLE>(0x5150); }
BOOL WINAPI recordAttribute(HANDLE, WORD attribute) {
    record("attr " + std::to_string(attribute));
    return TRUE;
}

// Stands in for the debugger sink where a test wants each write as it was made.
class RecordingSink : public LogSink {
public:
    void write(const char* text) override { record(text); }
};

void installRecorders() {
    platform().OutputDebugStringA = recordDebugString;
    platform().GetStdHandle = fakeStdHandle;
    platform().SetConsoleTextAttribute = recordAttribute;
}

void useRecorder(Logger& log) {
    delete log.debugSink;
    log.debugSink = new RecordingSink();
}

using Events = std::vector<std::string>;

class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        events.clear();
        installRecorders();
    }
    void TearDown() override { restoreDefaultPlatform(); }
};

TEST_F(LoggerTest, DebugSinkSendsLinesWithoutTheirLineFeedInPiecesOf247) {
    const std::string x600(600, 'x');
    const std::string y247(247, 'y');
    struct Case {
        std::vector<std::string> writes;
        Events sent; // also after the sink is destroyed: a held line is dropped, not sent
        std::uint32_t held;
    } cases[] = {
        {{"abc\n"}, {"abc"}, 0},
        {{"abc"}, {}, 3},
        {{"abc", "de", "\n"}, {"abcde"}, 0},
        {{"\n"}, {""}, 0},
        {{"ab\ncd\n\nef"}, {"ab", "cd", ""}, 2},
        {{x600}, {x600.substr(0, 247), x600.substr(0, 247)}, 106},
        {{y247, "\n"}, {y247}, 0},
        {{y247, "z\n"}, {y247, "z"}, 0},
    };
    for (const Case& c : cases) {
        events.clear();
        {
            DebugOutputSink sink;
            for (const std::string& w : c.writes) {
                sink.write(w.c_str());
            }
            EXPECT_EQ(sink.length, c.held) << c.writes[0].substr(0, 20);
        }
        EXPECT_EQ(events, c.sent) << c.writes[0].substr(0, 20);
    }
}

// Each mode's output in the order the sink gets it, the teardown's included; "attr n" is a
// console attribute.
TEST_F(LoggerTest, EachColourModeProducesItsOutputInOrder) {
    struct Op {
        char kind; // 'c' putControl, 'b' setBlockColour, 't' writeText, 'l' setLevel
        std::int32_t code;
        const char* text;
    };
    struct Case {
        const char* name;
        std::uint32_t mode;
        std::uint32_t sinkMask;
        std::vector<Op> ops;
        Events expected;
        std::int32_t textColourAfter = -1; // before the teardown; -1: not checked
    } cases[] = {
        {"html span and line end", Logger::htmlMode, 2, {{'c', 1, ""}, {'t', 0, "abc"}, {'c', 13, ""}},
         {"<span style=\"color: ", "#ff0000", "\">", "abc", "</span>", "<br/>", "\n", "\n</div>\n",
          "\n</body>\n</html>\n"}},
        {"html block 9 holds the colour", Logger::htmlMode, 2,
         {{'b', 9, ""}, {'c', 1, ""}, {'t', 0, "a"}, {'t', 0, "b"}, {'c', 0, ""}, {'b', 3, ""}},
         {"\n</div>\n", "\n<div style=\"color: ", "#      ", "\">", "<span style=\"color: ", "#ff0000", "\">", "a",
          "b", "\n<div style=\"color: ", "#0000ff", "\">", "\n</span>", "\n</div>\n", "\n</body>\n</html>\n"}},
        {"html closing a block ends the text colour", Logger::htmlMode, 2, {{'c', 1, ""}, {'b', 9, ""}, {'t', 0, "a"}},
         {"<span style=\"color: ", "#ff0000", "\">", "\n</div>\n", "\n<div style=\"color: ", "#      ", "\">", "a",
          "\n</span>", "\n</div>\n", "\n</body>\n</html>\n"},
         0},
        {"html below the threshold: the teardown closes nothing", Logger::htmlMode, 2, {{'c', 1, ""}, {'l', 1, ""}},
         {"<span style=\"color: ", "#ff0000", "\">"}},
        {"console falls back to the block", Logger::consoleMode, 2, {{'c', 2, ""}, {'t', 0, "x"}, {'c', 13, ""}},
         {"attr 10", "x", "attr 15", "\n", "attr 15"}},
        {"console block 9 keeps the colour", Logger::consoleMode, 2,
         {{'c', 9, ""}, {'c', 1, ""}, {'t', 0, "a"}, {'t', 0, "b"}, {'c', 0, ""}, {'c', -1, ""}, {'c', 14, ""}},
         {"attr 12", "a", "b"}},
        {"ansi reaches the debugger with its bit clear", Logger::ansiMode, 0,
         {{'c', 3, ""}, {'t', 0, "t"}, {'b', 7, ""}, {'c', 8, ""}}, {"\x1b[34m", "\x1b[37m", "\x1b[30m", "\x1b[37m"}},
    };
    for (const Case& c : cases) {
        events.clear();
        {
            Logger log;
            useRecorder(log);
            log.setColourMode(c.mode);
            log.setSinkMask(c.sinkMask);
            for (const Op& op : c.ops) {
                if (op.kind == 'c') {
                    log.putControl(op.code);
                } else if (op.kind == 'b') {
                    log.setBlockColour(op.code);
                } else if (op.kind == 'l') {
                    log.setLevel(op.code);
                } else {
                    log.writeText(op.text);
                }
            }
            if (c.textColourAfter >= 0) {
                EXPECT_EQ(log.textColour, c.textColourAfter) << c.name;
            }
        }
        EXPECT_EQ(events, c.expected) << c.name;
    }
}

TEST_F(LoggerTest, LineBufferKeepsTheFirst255CharactersOfTheCurrentLine) {
    Logger log;
    const std::string long300(300, 'q');
    log.writeText(long300.c_str());
    log.writeText("more");
    EXPECT_EQ(std::string(log.lineBuffer), long300.substr(0, 255));
    log.putControl(13);
    log.writeText("next");
    log.setLevel(1);
    log.writeText("below the threshold");
    EXPECT_EQ(std::string(log.lineBuffer), "next");
}

TEST_F(LoggerTest, HtmlLogFileFromOpeningToClose) {
    filetest::TempFolder dir;
    Logger log;
    useRecorder(log);
    log.setColourMode(Logger::htmlMode);
    log.setBlockColour(7);
    ASSERT_TRUE(log.setLogFileName(dir.file("log.html").c_str()));
    ASSERT_TRUE(log.attachLogFile());
    EXPECT_FALSE(log.attachLogFile()); // one file at a time
    events.clear();
    log.logMessage(2, "loaded %d files", 3);
    log.putControl(1);
    log.writeEscaped("<a&\"b\">");
    log.putControl(13);
    log.setBlockColour(2);
    log.logMessage(2, "green");
    log.logMessage(1, "not shown");
    log.setBlockColour(9);
    log.putControl(4);
    log.writeText("held");
    log.setLevel(0); // the document is closed below the threshold too
    EXPECT_TRUE(log.closeLogFile());
    EXPECT_EQ(dir.read("log.html"),
              "<html>\n<body>\n\n<div style=\"color: #000000\">"
              "loaded 3 files<br/>\n"
              "<span style=\"color: #ff0000\">&lt;a&amp;&quot;b&quot;&gt;</span><br/>\n"
              "\n</div>\n\n<div style=\"color: #00ff00\">green<br/>\n"
              "\n</div>\n\n<div style=\"color: #      \"><span style=\"color: #ff00ff\">held"
              "\n</span>\n</div>\n\n</body>\n</html>\n");
    // The debugger had the texts but none of the file's closing; the file is detached.
    EXPECT_EQ(events.back(), "held");
    EXPECT_TRUE(log.logFile == nullptr && log.sinkMask == 2u && log.logFileName[0] == '\0');
    EXPECT_EQ(log.textColour, 0); // the document's end leaves no colour behind
}

Logger* reenteringLogger = nullptr;
BOOL WINAPI reenteringWriteFile(HANDLE h, LPCVOID data, DWORD count, LPDWORD written, LPOVERLAPPED overlapped) {
    if (reenteringLogger != nullptr) {
        Logger* log = reenteringLogger;
        reenteringLogger = nullptr;
        log->writeText("inner\n");
    }
    return WriteFile(h, data, count, written, overlapped);
}

HANDLE WINAPI failingCreateFileA(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    return INVALID_HANDLE_VALUE;
}

TEST_F(LoggerTest, LogFileFailuresStopFileOutputAndNothingElse) {
    filetest::TempFolder dir;
    Logger log;
    EXPECT_FALSE(log.closeLogFile());
    EXPECT_TRUE(events.empty());

    ASSERT_TRUE(log.setLogFileName(dir.file("missing/folder/log.txt").c_str()));
    EXPECT_FALSE(log.attachLogFile());
    EXPECT_TRUE(!log.fileLogging && log.logFile == nullptr && log.sinkMask == 2u);

    const std::string name = dir.file("log.txt");
    ASSERT_TRUE(log.setLogFileName(name.c_str()));
    ASSERT_TRUE(log.attachLogFile());
    EXPECT_EQ(log.sinkMask, 3u);
    // A text logged from inside the file's own write goes to the debugger, not into the write.
    reenteringLogger = &log;
    platform().WriteFile = reenteringWriteFile;
    log.writeText("outer\n");
    EXPECT_TRUE(log.fileOk);
    platform().CreateFileA = failingCreateFileA;
    log.writeText("lost\n");
    EXPECT_FALSE(log.fileOk);
    restoreDefaultPlatform();
    installRecorders();
    log.writeText("also lost\n");
    EXPECT_EQ(dir.read("log.txt"), "outer\n");
    EXPECT_EQ(events, (Events{"outer", "inner", "lost", "also lost"}));
    EXPECT_TRUE(log.closeLogFile());
    EXPECT_EQ(dir.read("log.txt"), "outer\n");
    // With file output switched off, closing still lets go of the file object.
    ASSERT_TRUE(log.setLogFileName(name.c_str()) && log.attachLogFile());
    log.setSinkMask(2);
    EXPECT_TRUE(log.closeLogFile());
    EXPECT_EQ(log.logFile, nullptr);

    // A name must fit in 128 characters with its NUL; a refused one changes nothing.
    const std::string n128(128, 'n');
    EXPECT_TRUE(log.setLogFileName(n128.c_str() + 1));
    EXPECT_FALSE(log.setLogFileName(n128.c_str()) || log.setLogFileName(nullptr));
    EXPECT_EQ(std::string(log.logFileName), n128.substr(1));
}

// The HTML opening is four pieces, each an open, a write and a close: the first that fails ends
// it, and the attach with it.
TEST_F(LoggerTest, AFailedOpeningAttachesNothingAndOpensTheFileOnce) {
    const struct {
        const char* name;
        bool failOnce; // else every append open fails (its size query)
    } cases[] = {{"first write fails once", true}, {"every open fails", false}};
    for (const auto& c : cases) {
        filetest::TempFolder dir;
        Logger log;
        log.setColourMode(Logger::htmlMode);
        ASSERT_TRUE(log.setLogFileName(dir.file("log.html").c_str()));
        {
            PlatformFakes fakes;
            fakes.log().writeFailAt = c.failOnce ? 0 : -1;
            fakes.log().sizeFails = !c.failOnce;
            // The platform calls of one append open, whatever the file layer makes of it.
            DiskFile(true).OpenAppend(log.logFileName);
            const std::int32_t oneOpen = fakes.log().createFileCalls;
            EXPECT_FALSE(log.attachLogFile()) << c.name;
            EXPECT_EQ(fakes.log().createFileCalls, 2 * oneOpen) << c.name;
            EXPECT_EQ(fakes.log().openHandles, 0) << c.name;
        }
        installRecorders();
        EXPECT_TRUE(!log.fileLogging && log.logFile == nullptr && log.sinkMask == 2u) << c.name;
        ASSERT_TRUE(log.attachLogFile()) << c.name;
        ASSERT_TRUE(log.closeLogFile());
        EXPECT_EQ(dir.read("log.html"), "<html>\n<body>\n\n<div style=\"color: #ffffff\">\n</div>\n\n</body>\n</html>\n")
            << c.name;
    }
}

TEST_F(LoggerTest, RunsWithoutItsSinkOrLockWhenTheyCannotBeAllocated) {
    for (std::int64_t n = 0;; ++n) {
        FaultRegistry faults(1u << 0);
        faults.failFrom(n);
        events.clear();
        {
            Logger log;
            EXPECT_EQ(log.debugSink == nullptr, n == 0) << n;
            EXPECT_EQ(log.lock == nullptr, n <= 1) << n;
            log.writeText("abc\n");
            log.setColourMode(Logger::ansiMode);
            log.putControl(3);
            log.putControl(13);
            EXPECT_EQ(events, n == 0 ? Events{} : (Events{"abc", "\x1b[34m"})) << n;
        }
        EXPECT_EQ(faults.heap().outstanding(), 0u) << n;
        if (faults.heap().failures == 0) {
            break;
        }
    }
}

TEST_F(LoggerTest, FrontEndFormatsOnTheStackCutsLongMessagesAndKeepsTheLevel) {
    Logger log;
    log.setThreshold(3);
    log.logMessage(2, "below");
    log.logMessage(3, "%s=%d", "x", 5);
    EXPECT_EQ(log.level, 2);

    // Once built, the logger formats and writes to the debugger without allocating (the test's
    // own recorder uses the global operator new, category 1).
    const std::string long2000(2000, 'm');
    log.setThreshold(2);
    std::int64_t requests = -1;
    {
        FaultRegistry faults(FaultRegistry::allCategories & ~2u);
        faults.failFrom(0);
        log.logMessage(4, "%s", long2000.c_str());
        log.writeEscaped("<as is>");
        log.logMessage(4, "%s", "");
        requests = faults.heap().requests;
    }
    EXPECT_EQ(requests, 0);
    const std::string m247(247, 'm');
    EXPECT_EQ(events, (Events{"x=5", "attr 15", m247, m247, m247, m247, std::string(35, 'm'), "attr 15", "<as is>",
                              "attr 15"}));

    // The module's logger keeps its defaults, and the free front end writes to it.
    Logger& module = getLogger();
    EXPECT_EQ(module.sinkMask, 2u);
    EXPECT_EQ(module.colourMode, 2u);
    EXPECT_EQ(module.blockColour, 8);
    ASSERT_NE(module.lock, nullptr);
    EXPECT_STREQ(module.lock->name, "logger");
    events.clear();
    logMessage(2, "front %s", "end");
    EXPECT_EQ(events, (Events{"front end", "attr 15"}));
}

// Writers on many threads share the line state, the debugger sink's buffer and the log file:
// every 600-character line must reach the debugger whole, as pieces of 247, 247 and 106 characters
// of its writer's letter, and the file as one line.
TEST_F(LoggerTest, WholeLinesFromEveryWriterManyThreads) {
    constexpr int threadCount = 8;
    constexpr int linesPerThread = 40;
    filetest::TempFolder dir;
    Logger log;
    ASSERT_TRUE(log.setLogFileName(dir.file("threads.log").c_str()));
    ASSERT_TRUE(log.attachLogFile());
    runOnThreads(threadCount, [&log](int t) {
        const std::string line(600, static_cast<char>('a' + t));
        for (int i = 0; i < linesPerThread; ++i) {
            if (i % 2 == 0) {
                log.logMessage(2, "%s", line.c_str());
            } else {
                log.putControl(1 + t % 8);
                log.writeText((line + "\n").c_str());
            }
        }
    });
    ASSERT_TRUE(log.closeLogFile());

    // Pieces (or lines) by length and letter; anything else counts as mixed.
    std::map<std::pair<std::size_t, char>, int> counts;
    auto count = [&counts](const std::string& piece) {
        const bool whole = !piece.empty() && piece == std::string(piece.size(), piece[0]);
        ++counts[whole ? std::make_pair(piece.size(), piece[0]) : std::make_pair(std::size_t{0}, '?')];
    };
    for (const std::string& e : events) {
        if (e.rfind("attr ", 0) != 0) {
            count(e);
        }
    }
    const std::string file = dir.read("threads.log");
    for (std::size_t start = 0, end; (end = file.find('\n', start)) != std::string::npos; start = end + 1) {
        count(file.substr(start, end - start));
    }
    std::map<std::pair<std::size_t, char>, int> expected;
    for (char letter = 'a'; letter < 'a' + threadCount; ++letter) {
        expected[{247, letter}] = 2 * linesPerThread;
        expected[{106, letter}] = linesPerThread;
        expected[{600, letter}] = linesPerThread;
    }
    EXPECT_EQ(counts, expected);
}

} // namespace
