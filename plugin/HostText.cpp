// The host's wide names into UTF-8, and the plugin's texts out into UTF-16.
#include "plugin/HostText.h"

#include <cstdint>

#include "core/Utils/Platform.h"

HostName::HostName(const wchar_t* name) {
    if (name == nullptr) {
        return;
    }
    // -1: the whole name and its NUL, whatever its length (no 260-character limit on this road).
    const int bytes = platform().WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, name, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return;
    }
    storage = allocateHeapBlock<char>(static_cast<std::uint32_t>(bytes), 1, HeapCategory::String);
    if (storage == nullptr) {
        return;
    }
    if (platform().WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, name, -1, storage.get(), bytes, nullptr,
                                       nullptr) != bytes) {
        storage.reset();
    }
}

void copyWideText(wchar_t* destination, std::uint32_t capacity, const char* source) {
    if (capacity == 0) {
        return;
    }
    std::uint32_t length = 0;
    // The texts are ASCII, so each byte is one UTF-16 unit and the cut falls where the 8-bit
    // form's does.
    while (source != nullptr && source[length] != '\0' && length + 1 < capacity) {
        destination[length] = static_cast<wchar_t>(static_cast<unsigned char>(source[length]));
        ++length;
    }
    destination[length] = L'\0';
}

void copyIdentityText(wchar_t* destination, std::uint32_t capacity, const char* source) {
    if (destination == nullptr) {
        return;
    }
    // lstrcpynA writes a front of the text and a NUL, or nothing at all; it never writes past the
    // source's NUL, so a buffer of the text's length plus one holds whatever it writes. 0xFF, no
    // ASCII byte, marks what it left alone.
    char copy[identityTextLimit + 1];
    for (char& byte : copy) {
        byte = static_cast<char>(0xFF);
    }
    platform().lstrcpynA(copy, source, static_cast<int>(capacity));
    std::uint32_t length = 0;
    while (length <= identityTextLimit && copy[length] != '\0') {
        if (copy[length] == static_cast<char>(0xFF)) {
            return;
        }
        ++length;
    }
    if (length > identityTextLimit) {
        return;
    }
    for (std::uint32_t i = 0; i < length; ++i) {
        destination[i] = static_cast<wchar_t>(static_cast<unsigned char>(copy[i]));
    }
    destination[length] = L'\0';
}
