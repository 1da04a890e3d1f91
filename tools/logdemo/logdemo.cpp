// logdemo: writes a short HTML log through the logger's front end, to show what a log file looks
// like. The plugin itself never logs; this program links the system's objects and uses the
// module's logger as any other program would.
//   logdemo [log file]     default: logdemo.html in the current folder; appended to if it exists
// The document is finished by the logger's own teardown when the program exits.
#include <cstdio>

#include "core/log/LogColour.h"
#include "core/log/Logger.h"

int main(int argc, char** argv) {
    const char* name = argc > 1 ? argv[1] : "logdemo.html";
    Logger& log = getLogger();
    log.setColourMode(Logger::htmlMode);
    log.setBlockColour(colourCode(LogColour::Black));
    if (!log.setLogFileName(name) || !log.attachLogFile()) {
        std::fprintf(stderr, "logdemo: cannot write %s\n", name);
        return 1;
    }

    logMessage(2, "logdemo: %d files looked at", 3);
    log.writeText("opened ");
    log.writeEscaped("Tom & Jerry <live>.wav");
    log.putControl(Logger::newLineCode);
    logMessage(2, "44100Hz, %d-bit, %s (%s) Wave Audio", 16, "Stereo", "PCM");
    log.putControl(colourCode(LogColour::Red));
    logMessage(3, "notes.txt: no RIFF header");
    logMessage(2, "<b>markup</b> in a message is written as given");

    log.setThreshold(3);
    logMessage(2, "below the threshold: not in the log");
    log.setThreshold(2);

    log.setBlockColour(colourCode(LogColour::Blue));
    logMessage(2, "picture: %dx%d, %d columns", 800, 600, 800);

    // The block state: a text colour stays until another replaces it.
    log.setBlockColour(colourCode(LogColour::HoldColour));
    log.putControl(colourCode(LogColour::Green));
    logMessage(2, "held colour, line %d", 1);
    logMessage(2, "held colour, line %d", 2);

    std::printf("logdemo: wrote %s\n", name);
    return 0;
}
