// The conversions a UTF-8 name needs on its way to Windows: the UTF-16 form the disk backend opens
// (with the prefix that lifts the 260-character limit where a path needs it), and the bytes under
// which a pak archive looks up an entry named by the host in UTF-16.
#pragma once

#include <cstdint>

#include "core/Utils/String.h"
#include "core/memory/HeapPointer.h"

// UTF-16 units in storage from the heap registry (strings' category), released with the object.
class WideName {
public:
    WideName() = default;
    WideName(const WideName&) = delete;
    WideName& operator=(const WideName&) = delete;

    // The NUL-terminated units; null until a conversion succeeded.
    const wchar_t* units() const { return storage.get(); }

    // Replaces the content with the UTF-16 form of a UTF-8 path as CreateFileW should get it:
    //  - a name that starts with "\\?\" (backslashes, as the host wrote it) is taken as given, and
    //    so is a device path ("//./", "//?/"), which Windows normalises itself;
    //  - a drive or UNC path shorter than MAX_PATH units is converted as it is;
    //  - a longer one, or a relative one, is normalised by the platform (GetFullPathNameW); when
    //    the result reaches MAX_PATH it gets "\\?\" or "\\?\UNC\" in front, with '\' separators,
    //    so that its length is no limit; otherwise the name goes as it is.
    // False, with the content left empty, when the bytes are not UTF-8 or memory cannot be had.
    bool assignPath(const char* utf8);

private:
    HeapPointer<wchar_t> storage;
};

// The name under which an archive is asked for an entry that a wide name gave in UTF-8: the ANSI
// code page's bytes when every character converts exactly (no best fit, no default character),
// which is what the 8-bit road would look up for the same name; otherwise the UTF-8 bytes as
// they are. False only when memory cannot be had.
bool entryLookupName(const String& utf8Entry, String& lookupName);
