// How the bytes of a file object's names are to be read. The file layer's strings stay 8-bit
// either way; only the two places that hand a name to Windows or look one up in an archive care:
// the disk backend's reading open and the split of a path into archive and entry.
#pragma once

#include <cstdint>

enum class NameEncoding : std::uint32_t {
    Ansi = 0, // the host's 8-bit names, in the ANSI code page: opened with CreateFileA
    Utf8 = 1, // the host's wide names, carried as UTF-8: opened by their UTF-16 form
};
