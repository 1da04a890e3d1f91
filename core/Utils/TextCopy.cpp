// Text copied with truncation.
#include "core/Utils/TextCopy.h"

std::uint32_t copyText(char* destination, std::uint32_t capacity, const char* source) {
    if (capacity == 0) {
        return 0;
    }
    std::uint32_t length = 0;
    // Stops at the source's NUL or one short of the capacity, which keeps room for the NUL.
    while (source != nullptr && source[length] != '\0' && length + 1 < capacity) {
        destination[length] = source[length];
        ++length;
    }
    destination[length] = '\0';
    return length;
}
