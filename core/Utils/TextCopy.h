// copyText: the one way the system copies a NUL-terminated text into a buffer of fixed capacity,
// cut to fit. Used for everything handed to the host and for the fixed texts of the description.
#pragma once

#include <cstdint>

// Copies source into destination up to its NUL or capacity - 1 bytes, whichever comes first, and
// ends the copy with a NUL. Returns the bytes copied, NUL not counted. A capacity of 0 writes
// nothing; a null source counts as empty.
std::uint32_t copyText(char* destination, std::uint32_t capacity, const char* source);
