// The colour table of the logger.
#include "core/log/LogColour.h"

namespace {

const char* const htmlTexts[logColourCount] = {
    "#      ", "#ff0000", "#00ff00", "#0000ff", "#ff00ff", "#ffff00", "#00ffff", "#000000", "#ffffff",
};

// Indexed by code: the ANSI palette orders red, green, yellow, blue, magenta, cyan differently.
const char ansiDigits[] = "912453607";

// Windows console bits: 1 blue, 2 green, 4 red.
const std::uint16_t consoleBits[logColourCount] = {0, 4, 2, 1, 5, 6, 3, 0, 7};
constexpr std::uint16_t foregroundIntensity = 8;

} // namespace

const char* htmlColourText(std::int32_t code) { return htmlTexts[isTextColour(code) ? code : 0]; }

char ansiColourDigit(std::int32_t code) { return ansiDigits[isTextColour(code) ? code : 0]; }

std::uint16_t consoleColourAttribute(std::int32_t code) {
    return static_cast<std::uint16_t>(consoleBits[isTextColour(code) ? code : 0] + foregroundIntensity);
}
