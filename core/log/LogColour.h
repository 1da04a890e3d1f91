// LogColour: the logger's colour codes and what each colour mode makes of them: the HTML colour
// text, the ANSI digit and the console text attribute. Code 9 is not a colour but the block state
// in which a text colour stays until it is changed; as a block colour it is drawn with the default
// colour's text.
#pragma once

#include <cstdint>

enum class LogColour : std::int32_t {
    Default = 0,
    Red = 1,
    Green = 2,
    Blue = 3,
    Magenta = 4,
    Yellow = 5,
    Cyan = 6,
    Black = 7,
    White = 8,
    HoldColour = 9, // block state only: text colours are not reset after each text
};

// Codes 0 to 8 are colours.
constexpr std::int32_t logColourCount = 9;

inline constexpr std::int32_t colourCode(LogColour colour) { return static_cast<std::int32_t>(colour); }

inline constexpr bool isTextColour(std::int32_t code) { return code >= 0 && code < logColourCount; }

// The seven characters after '#' of an HTML colour, e.g. "#ff0000". The default colour is '#'
// and six blanks (which a browser ignores, leaving its own colour); code 9 and codes outside the
// table get the default's text.
const char* htmlColourText(std::int32_t code);
// The digit of the ANSI foreground sequence ESC [ 3 digit m; '9' (the terminal's default) for
// codes outside the table.
char ansiColourDigit(std::int32_t code);
// The console text attribute: the colour's red, green and blue bits with FOREGROUND_INTENSITY (8)
// added; 8 for codes outside the table.
std::uint16_t consoleColourAttribute(std::int32_t code);
