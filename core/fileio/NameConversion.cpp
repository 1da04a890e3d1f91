// UTF-8 names turned into what Windows opens and what an archive looks up, through the platform
// table's code-page conversions.
#include "core/fileio/NameConversion.h"

#include <cstring>

#include "core/Utils/Platform.h"

namespace {

// A text longer than this is no name: the conversions count in int.
constexpr std::size_t longestName = 0x0FFFFFFF;

// Storage for room units, the UTF-16 form of the length bytes of text and a NUL; count receives
// the units of the text. Empty when the bytes are not UTF-8 (the strict conversion refuses them
// rather than let U+FFFD stand for them and name another file), and when memory cannot be had,
// which sets noMemory.
HeapPointer<wchar_t> toUtf16(const char* text, std::size_t length, std::uint32_t room, int& count, bool& noMemory) {
    count = 0;
    noMemory = false;
    if (length == 0 || length > longestName) {
        return nullptr;
    }
    const int bytes = static_cast<int>(length);
    const int units = platform().MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, bytes, nullptr, 0);
    // No more units than bytes: the size below cannot wrap.
    if (units <= 0 || static_cast<std::size_t>(units) > length) {
        return nullptr;
    }
    const std::uint32_t total = room + static_cast<std::uint32_t>(units) + 1;
    HeapPointer<wchar_t> storage =
        allocateHeapBlock<wchar_t>(total * sizeof(wchar_t), alignof(wchar_t), HeapCategory::String);
    if (storage == nullptr) {
        noMemory = true;
        return nullptr;
    }
    if (platform().MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, bytes, storage.get() + room, units) != units) {
        return nullptr;
    }
    storage.get()[room + static_cast<std::uint32_t>(units)] = L'\0';
    count = units;
    return storage;
}

bool isDrivePath(const char* name) {
    const char letter = name[0];
    const bool alpha = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
    return alpha && name[1] == ':' && name[2] == '/';
}

// "//server/...": not "//?/" nor a device path "//./".
bool isUncPath(const char* name) {
    return name[0] == '/' && name[1] == '/' && name[2] != '\0' && name[2] != '/' && name[2] != '?' && name[2] != '.';
}

bool isPrefixedPath(const char* name) { return std::strncmp(name, "//?/", 4) == 0; }

void useBackslashes(wchar_t* units) {
    for (; *units != L'\0'; ++units) {
        if (*units == L'/') {
            *units = L'\\';
        }
    }
}

} // namespace

bool WideName::assignPath(const char* utf8) {
    storage.reset();
    if (utf8 == nullptr) {
        return false;
    }
    const std::size_t length = std::strlen(utf8);
    int units = 0;
    bool noMemory = false;
    if (isPrefixedPath(utf8)) {
        storage = toUtf16(utf8, length, 0, units, noMemory);
        if (storage != nullptr) {
            useBackslashes(storage.get());
        }
        return storage != nullptr;
    }
    // A UTF-16 form never has more units than the UTF-8 bytes, so a name shorter than MAX_PATH
    // bytes needs no prefix and its length is not measured twice.
    const bool drive = isDrivePath(utf8);
    const bool unc = !drive && isUncPath(utf8);
    if (length < MAX_PATH || (!drive && !unc)) {
        storage = toUtf16(utf8, length, 0, units, noMemory);
        return storage != nullptr;
    }
    // The UNC form drops the name's own two leading separators behind "\\?\UNC\".
    const wchar_t* prefix = drive ? L"\\\\?\\" : L"\\\\?\\UNC\\";
    const std::uint32_t prefixLength = drive ? 4 : 8;
    const std::size_t skipped = drive ? 0 : 2;
    storage = toUtf16(utf8 + skipped, length - skipped, prefixLength, units, noMemory);
    if (storage == nullptr) {
        return false;
    }
    // Short enough for Windows without the prefix: converted as it is after all.
    if (static_cast<std::uint32_t>(units) + skipped < MAX_PATH) {
        storage = toUtf16(utf8, length, 0, units, noMemory);
        return storage != nullptr;
    }
    std::memcpy(storage.get(), prefix, prefixLength * sizeof(wchar_t));
    useBackslashes(storage.get() + prefixLength);
    return true;
}

bool entryLookupName(const String& utf8Entry, String& lookupName) {
    int units = 0;
    bool noMemory = false;
    HeapPointer<wchar_t> wide = toUtf16(utf8Entry.c_str(), utf8Entry.length(), 0, units, noMemory);
    if (noMemory) {
        return false;
    }
    // An empty entry, or bytes that are not UTF-8 (no wide name gives those): looked up as they are.
    if (wide == nullptr) {
        return lookupName.assign(utf8Entry);
    }
    BOOL usedDefault = FALSE;
    const int bytes = platform().WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.get(), units, nullptr, 0,
                                                     nullptr, &usedDefault);
    // A character the code page lacks, or one it would only approximate: the 8-bit road could not
    // have named this entry, so the archive is asked for the UTF-8 bytes. (A failed conversion,
    // for instance where the ANSI code page is UTF-8 itself and takes no such flags, lands here
    // too, with the same answer.)
    if (bytes <= 0 || usedDefault != FALSE) {
        return lookupName.assign(utf8Entry);
    }
    HeapPointer<char> ansi =
        allocateHeapBlock<char>(static_cast<std::uint32_t>(bytes), 1, HeapCategory::String);
    if (ansi == nullptr) {
        return false;
    }
    if (platform().WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.get(), units, ansi.get(), bytes, nullptr,
                                       &usedDefault) != bytes ||
        usedDefault != FALSE) {
        return lookupName.assign(utf8Entry);
    }
    return lookupName.assign(ansi.get(), static_cast<std::uint32_t>(bytes));
}
