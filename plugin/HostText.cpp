// The host's wide names into UTF-8, and the plugin's identity texts out to the host.
#include "plugin/HostText.h"

#include <cstdint>

#include "core/Utils/Platform.h"
#include "core/Utils/TextCopy.h"

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

void copyIdentityText(char* destination, std::uint32_t capacity, const char* source) {
    if (destination == nullptr) {
        return;
    }
    platform().lstrcpynA(destination, source, static_cast<int>(capacity));
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
    copyText(destination, length + 1, copy);
}
