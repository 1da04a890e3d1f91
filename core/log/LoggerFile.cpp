// The logger's log file: attaching it, each text's open, append and close, and the HTML
// document's opening and end.
#include "core/log/Logger.h"

#include <new>

#include "core/fileio/DiskFile.h"
#include "core/log/LogColour.h"
#include "core/log/LogMarkup.h"
#include "core/memory/HeapRegistry.h"
#include "core/thread/Lock.h"

using namespace logMarkup;

bool Logger::attachLogFile() {
    ScopedLock guard(lock);
    if (fileLogging || fileWriteDepth > 0) {
        return false;
    }
    File* file = new (HeapCategory::Engine) DiskFile(true);
    if (file == nullptr) {
        return false;
    }
    const std::uint32_t maskBefore = sinkMask;
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
        sinkMask = maskBefore;
        return false;
    }
    return true;
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

void Logger::emitToFile(const char* text) {
    keepInLine(text);
    if (fileOk) {
        writeToFile(text);
    }
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

void Logger::writeClosingMarkup(void (Logger::*write)(const char*), bool silent) {
    if (spanOpen && !silent) {
        // spanOpen stays set: the teardown closes the span again in the debugger's stream.
        (this->*write)(closeSpanAtEnd);
    }
    if (blockColour != colourCode(LogColour::Default)) {
        blockColour = colourCode(LogColour::Default);
        if (!silent) {
            (this->*write)(closeBlock);
        }
    }
    if (silent) {
        return;
    }
    (this->*write)(documentEnd);
    // The document's end leaves no colour behind.
    textColour = colourCode(LogColour::Default);
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
        // To the file alone, and whatever the level: a silenced logger must not leave the
        // document open.
        if (colourMode == htmlMode) {
            writeClosingMarkup(&Logger::emitToFile, false);
        }
        if (fileOk && logFile != nullptr && logFile->state != FileState::Closed) {
            logFile->Close();
        }
    }
    // Also when file output was switched off: the file object and its name go with the file.
    releaseLogFile();
    fileLogging = false;
    return true;
}
