// Text copied with truncation: one body for every pair of unit types.
#include "core/Utils/TextCopy.h"

namespace {

// A byte becomes the unit of the same value, never a negative one.
wchar_t unitOf(char byte, wchar_t) { return static_cast<wchar_t>(static_cast<unsigned char>(byte)); }
template <class Unit>
Unit unitOf(Unit unit, Unit) {
    return unit;
}

template <class Unit, class SourceUnit>
std::uint32_t copyUnits(Unit* destination, std::uint32_t capacity, const SourceUnit* source) {
    if (capacity == 0) {
        return 0;
    }
    std::uint32_t length = 0;
    // Stops at the source's NUL or one short of the capacity, which keeps room for the NUL.
    while (source != nullptr && source[length] != SourceUnit{} && length + 1 < capacity) {
        destination[length] = unitOf(source[length], Unit{});
        ++length;
    }
    destination[length] = Unit{};
    return length;
}

} // namespace

std::uint32_t copyText(char* destination, std::uint32_t capacity, const char* source) {
    return copyUnits(destination, capacity, source);
}

std::uint32_t copyText(wchar_t* destination, std::uint32_t capacity, const char* source) {
    return copyUnits(destination, capacity, source);
}

std::uint32_t copyText(wchar_t* destination, std::uint32_t capacity, const wchar_t* source) {
    return copyUnits(destination, capacity, source);
}
