// UTF-8 names turned into what Windows opens and what an archive looks up, through the platform
// table's code-page conversions.
#include "core/fileio/NameConversion.h"

#include <cstring>
#include <utility>

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

// "\\?\" written with backslashes: Windows takes the rest as it stands.
bool isVerbatim(const char* name) { return std::strncmp(name, "\\\\?\\", 4) == 0; }

// "//./" or "//?/" (a device path, however it was written before the file layer turned its
// separators): Windows normalises what follows itself, and no prefix can go in front.
bool isDevicePath(const char* name) {
    return name[0] == '/' && name[1] == '/' && (name[2] == '.' || name[2] == '?') && name[3] == '/';
}

void useBackslashes(wchar_t* units) {
    for (; *units != L'\0'; ++units) {
        if (*units == L'/') {
            *units = L'\\';
        }
    }
}

} // namespace

namespace {

// The full path Windows makes of name (made absolute; ".", "..", doubled separators, trailing dots
// and spaces gone), in storage of its own; null when the platform cannot say or memory lacks.
HeapPointer<wchar_t> fullPathOf(const wchar_t* name, std::uint32_t& units) {
    units = 0;
    const DWORD needed = platform().GetFullPathNameW(name, 0, nullptr, nullptr);
    if (needed == 0 || needed > longestName) {
        return nullptr;
    }
    HeapPointer<wchar_t> full = allocateHeapBlock<wchar_t>(needed * sizeof(wchar_t), alignof(wchar_t), HeapCategory::String);
    if (full == nullptr) {
        return nullptr;
    }
    const DWORD written = platform().GetFullPathNameW(name, needed, full.get(), nullptr);
    // The current folder may have changed between the two calls.
    if (written == 0 || written >= needed) {
        return nullptr;
    }
    units = written;
    return full;
}

} // namespace

bool WideName::assignPath(const char* utf8) {
    storage.reset();
    if (utf8 == nullptr) {
        return false;
    }
    int units = 0;
    bool noMemory = false;
    storage = toUtf16(utf8, std::strlen(utf8), 0, units, noMemory);
    if (storage == nullptr) {
        return false;
    }
    if (isVerbatim(utf8) || isDevicePath(utf8)) {
        return true;
    }
    // A drive or UNC path shorter than MAX_PATH opens as it is. A longer one, and a relative one
    // (which the current folder may make long), are measured as Windows will normalise them.
    const bool absolute = isDrivePath(utf8) || isUncPath(utf8);
    if (absolute && static_cast<std::uint32_t>(units) < MAX_PATH) {
        return true;
    }
    std::uint32_t fullUnits = 0;
    HeapPointer<wchar_t> full = fullPathOf(storage.get(), fullUnits);
    if (full == nullptr || fullUnits < MAX_PATH) {
        return true;
    }
    // Behind "\\?\" Windows no longer normalises, so the prefix goes in front of the normalised
    // path, never of the name as given (its "..", "." or "//" would be taken literally). The UNC
    // form drops the path's own two leading separators behind "\\?\UNC\".
    const wchar_t* path = full.get();
    const bool unc = path[0] == L'\\' && path[1] == L'\\';
    if (unc && (path[2] == L'?' || path[2] == L'.') && path[3] == L'\\') {
        storage = std::move(full);
        return true;
    }
    const wchar_t* prefix = unc ? L"\\\\?\\UNC\\" : L"\\\\?\\";
    const std::uint32_t prefixLength = unc ? 8 : 4;
    const std::uint32_t skipped = unc ? 2 : 0;
    const std::uint32_t total = prefixLength + fullUnits - skipped + 1;
    HeapPointer<wchar_t> prefixed = allocateHeapBlock<wchar_t>(total * sizeof(wchar_t), alignof(wchar_t), HeapCategory::String);
    if (prefixed == nullptr) {
        storage.reset();
        return false;
    }
    std::memcpy(prefixed.get(), prefix, prefixLength * sizeof(wchar_t));
    std::memcpy(prefixed.get() + prefixLength, path + skipped, (fullUnits - skipped + 1) * sizeof(wchar_t));
    useBackslashes(prefixed.get() + prefixLength);
    storage = std::move(prefixed);
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
