// The road a host travels with one file, for the plugin's tests: identify it through the loaded
// DLL's exports with a record the host filled with a pattern, hand the record back for a picture,
// read the picture's pixels back. The 8-bit and the wide forms alike. The records hold their own
// description buffer and allocate nothing, so the failure sweeps use them too.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/HostRecords.h"

using Pixels = std::vector<std::uint32_t>;

// The marker a host in these tests fills its records with: what the plugin leaves alone keeps it.
constexpr unsigned char hostPattern = 0xCD;
// Units of the description buffer a host gives.
constexpr std::uint32_t hostTextCapacity = 96;

// The record a host hands to identify and keeps for the picture: every byte the pattern, its
// description buffer given with its capacity. A copy points at its own buffer.
template <class Record, class Unit>
struct HostRecordOf {
    // The pattern as one unit of the description (0xCDCD for a 16-bit unit).
    static constexpr Unit untouchedUnit = static_cast<Unit>(sizeof(Unit) == 1 ? hostPattern : hostPattern * 0x0101u);

    Record info;
    Unit text[hostTextCapacity];

    HostRecordOf() {
        std::memset(&info, hostPattern, sizeof info);
        for (Unit& unit : text) {
            unit = untouchedUnit;
        }
        info.description = text;
        info.descriptionCapacity = hostTextCapacity;
    }
    HostRecordOf(const HostRecordOf& other) { *this = other; }
    HostRecordOf& operator=(const HostRecordOf& other) {
        std::memcpy(&info, &other.info, sizeof info);
        std::memcpy(text, other.text, sizeof text);
        info.description = text;
        return *this;
    }

    // Whether the record (its description pointer aside) and the buffer are byte for byte the
    // other's.
    bool sameAs(const HostRecordOf& other) const {
        Record mine;
        Record theirs;
        std::memcpy(&mine, &info, sizeof mine);
        std::memcpy(&theirs, &other.info, sizeof theirs);
        mine.description = nullptr;
        theirs.description = nullptr;
        return std::memcmp(&mine, &theirs, sizeof mine) == 0 && std::memcmp(text, other.text, sizeof text) == 0;
    }
    // Whether the record and buffer are as the host filled them (capacity included).
    bool untouched() const { return sameAs(HostRecordOf()); }
    // The description up to its NUL, or all of the buffer when none was written.
    std::basic_string<Unit> description() const {
        std::size_t length = 0;
        while (length < hostTextCapacity && text[length] != Unit{}) {
            ++length;
        }
        return std::basic_string<Unit>(text, length);
    }
};

using HostRecord = HostRecordOf<FileInfoRecord, char>;
using HostRecordW = HostRecordOf<FileInfoRecordW, wchar_t>;

// A picture read back: its size and pixels (row 0 at the bottom, 0x00RRGGBB). drawn false and
// all empty for no picture.
struct Picture {
    bool drawn = false;
    LONG width = 0;
    LONG height = 0;
    Pixels pixels;
};

// Reads bitmap back (its pixels only when asked for) and deletes it; null gives no picture.
Picture takePicture(HBITMAP bitmap, bool withPixels = true);

// Identify through the plugin's exports on name, the answer landing in host.
BOOL identifyFile(const std::string& name, HostRecord& host, HANDLE abortEvent = nullptr);
BOOL identifyFile(const std::wstring& name, HostRecordW& host, HANDLE abortEvent = nullptr);
// The picture of name, drawn with the record and size record as the host keeps them (which the
// call may not write); size null hands over no size record.
Picture drawFile(const std::string& name, FileInfoRecord& record, ImageSizeRecord* size, HANDLE abortEvent = nullptr,
                 bool withPixels = true);
Picture drawFile(const std::wstring& name, FileInfoRecordW& record, ImageSizeRecord* size,
                 HANDLE abortEvent = nullptr, bool withPixels = true);

// One file's whole road: identified, then drawn at size with the record identify left (a
// refusal's record too, which must give no picture).
template <class Record>
struct HostView {
    BOOL identified = FALSE;
    Record host;
    Picture picture;
};

HostView<HostRecord> identifyAndDraw(const std::string& name, ImageSizeRecord size = {64, 48},
                                     HANDLE abortEvent = nullptr);
HostView<HostRecordW> identifyAndDraw(const std::wstring& name, ImageSizeRecord size = {64, 48},
                                      HANDLE abortEvent = nullptr);
