// Text that crosses between the host and the plugin: the host's UTF-16 name carried into the file
// layer as UTF-8, and the plugin's identity texts (all ASCII) copied out into the host's 8-bit and
// UTF-16 buffers, cut alike.
#pragma once

#include <cstdint>

#include "core/memory/HeapPointer.h"

// The UTF-8 form of a name the host gave in UTF-16, in storage from the heap registry.
class HostName {
public:
    // Converts name (null gives no name). A name that is not UTF-16 (a lone surrogate) is not
    // converted: no UTF-8 text names that file, and a replacement character could name another.
    explicit HostName(const wchar_t* name);
    HostName(const HostName&) = delete;
    HostName& operator=(const HostName&) = delete;

    // The NUL-terminated UTF-8 name; null when there is none (no name, not convertible, no memory),
    // which the file layer refuses to open like an empty name.
    const char* utf8() const { return storage.get(); }

private:
    HeapPointer<char> storage;
};

// The plugin's identity texts (ASCII, at most identityTextLimit bytes) as the host receives them:
// through the platform's lstrcpynA under the capacity the host gave, which copies at most
// capacity - 1 characters and a NUL. Not copyText: the platform's copy returns instead of faulting
// when the host hands a buffer it cannot write. Nothing for a null buffer.
constexpr std::uint32_t identityTextLimit = 127;
void copyIdentityText(char* destination, std::uint32_t capacity, const char* source);
// The same into a UTF-16 buffer, exactly as the 8-bit form copies it: the copy is made by the
// platform's lstrcpynA into a buffer of the text's own length and then widened, so that whatever
// lstrcpynA makes of a capacity (0, or one that reads as a negative int) the wide form makes the
// same.
void copyIdentityText(wchar_t* destination, std::uint32_t capacity, const char* source);
