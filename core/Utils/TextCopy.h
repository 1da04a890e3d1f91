// copyText: the one way the system copies a NUL-terminated text into a buffer of fixed capacity,
// cut to fit. Used for everything handed to the host (8-bit and UTF-16 buffers) and for the fixed
// texts of the description.
#pragma once

#include <cstdint>

// Copies source into destination up to its NUL or capacity - 1 units, whichever comes first, and
// ends the copy with a NUL. Returns the units copied, NUL not counted. A capacity of 0 writes
// nothing; a null source counts as empty. An 8-bit source copied into UTF-16 units must be ASCII:
// each byte becomes one unit, so the cut falls where the 8-bit copy's does.
std::uint32_t copyText(char* destination, std::uint32_t capacity, const char* source);
std::uint32_t copyText(wchar_t* destination, std::uint32_t capacity, const char* source);
std::uint32_t copyText(wchar_t* destination, std::uint32_t capacity, const wchar_t* source);
