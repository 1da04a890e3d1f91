// PakArchive: a read-only archive file whose entries file objects open by name. A path that runs
// through a ".pak" file mounts it (core/fileio/ArchiveMount.h), and the rest of the path is the
// entry to open.
// Every object that opens an entry keeps a counted reference to the archive and a cursor of its
// own (PakCursor), so what it reads never depends on what other objects opened, or on which
// archive is mounted, in the meantime. The archive reads its file through one handle of its own.
//
// The file: an 8-byte header (dataStart, reserved), then (dataStart - 8) / 16 directory entries of
// 16 bytes, then the data area. Entries are found by a hash of their name; the names themselves
// are not in the file. An entry is kept as it is (packedSize 0) or as one zlib stream of
// packedSize bytes that inflates to size bytes; a compressed entry can only be read whole, in one
// request.
//
// The directory never changes once mounted, so lookups need no lock. Several objects' cursors
// share the archive's one file handle and its inflate buffer: the reads and seeks that use them
// hold the archive's own lock (access), never the process-wide fileLock, so a file object reading
// an entry keeps no other file waiting (core/fileio/SharedState.h).
#pragma once

#include <atomic>
#include <cstdint>

#include "core/Utils/Array.h"
#include "core/Utils/String.h"
#include "core/fileio/NameEncoding.h"
#include "core/thread/Lock.h"

// One directory entry, decoded from its little-endian bytes.
struct PakEntry {
    std::uint32_t nameHash;   // HashEntryName of the entry's name
    std::uint32_t offset;     // start of its bytes, counted from dataStart
    std::uint32_t packedSize; // 0: stored; else the length of its zlib stream
    std::uint32_t size;       // length of its content
};
static_assert(sizeof(PakEntry) == 16, "a directory entry is 16 bytes in the file");

// A handle on the archive file and where its read position is, as an absolute offset; the
// position is trusted only while positionKnown (a failed seek or read leaves it unknown, and the
// next read seeks).
struct PakFile {
    void* handle = nullptr;
    std::uint32_t position = 0;
    bool positionKnown = false;
};

// Where one file object stands in the entry it opened. No entry: nothing is read. A cursor that
// found the archive's shared handle busy reads through a handle of its own from then on (own),
// closed with the entry.
struct PakCursor {
    const PakEntry* entry = nullptr;
    std::uint32_t position = 0;
    bool atEnd = true;
    PakFile own;
};

// The reflected CRC-32 table run over the name's bytes with the register starting at 0 and no
// final inversion (so it is not what crc32() answers): "abc" gives 0xCA6598D0, "" gives 0.
std::uint32_t HashEntryName(const char* name);

// zlib's allocation hooks: its memory comes from the registry (engine category). A request of
// items x size beyond 32 bits answers null.
void* zlibAllocate(void* opaque, unsigned items, unsigned size);
void zlibRelease(void* opaque, void* block);

// The largest directory a mount accepts: 16 MiB, over a million entries. A dataStart beyond it
// is refused instead of sizing and zeroing a directory of up to 256 MiB.
constexpr std::uint32_t pakMaxDirectoryBytes = 16u * 1024u * 1024u;
// The inflate input buffer, allocated once per mount.
constexpr std::uint32_t pakInflateBufferBytes = 131072;
// Deflate's densest coding: a 258-byte match in two bits, 1032 bytes out per byte in.
constexpr std::uint32_t pakLargestInflateRatio = 1032;

class PakArchive {
public:
    // An archive with no file and one reference, its creator's.
    PakArchive();
    // Closes the archive file and gives the directory and the inflate buffer back.
    ~PakArchive();

    PakArchive(const PakArchive&) = delete;
    PakArchive& operator=(const PakArchive&) = delete;

    // Opens the archive file and reads the header and the whole directory in one request each,
    // then allocates the inflate buffer (a failure there still mounts, without compressed reads).
    // True when the archive can serve entries; false, with the file closed, when it cannot be
    // opened or is refused (see the refusal rules in PakArchive.cpp).
    bool Mount(const char* path);

    // One more holder: a file object that opened an entry, or the process-wide mount.
    void AddReference();
    // One holder less; the last one destroys the archive. Null does nothing.
    static void Release(PakArchive* archive);

    // The entry operations, each on the caller's cursor.
    // Points cursor at the named entry, at position 0. False, cursor untouched, when no entry has
    // the name's hash. Equal hashes: the first entry in the directory wins.
    bool OpenEntry(const char* entryName, PakCursor& cursor);
    // Leaves cursor at no entry. False when it was at none.
    bool CloseEntry(PakCursor& cursor);
    // Stored entry: up to count bytes from the cursor (up to 5 attempts while the file delivers
    // nothing or fails to read); the bytes delivered. Compressed entry: only a request for exactly its size reads,
    // inflating the whole entry into buffer; anything else gets 0. A compressed read that fails
    // answers the bytes inflated before the failure and never the full count. 0 without an entry.
    std::uint32_t ReadEntry(PakCursor& cursor, void* buffer, std::uint32_t count);
    // Moves the cursor within its entry, clamped to the entry's size, and the file with it;
    // reaching the size sets the end flag, an earlier position leaves it. A compressed entry only
    // seeks to 0. No file seek is made when the file is already there. False, cursor unmoved,
    // without an entry or when the file seek fails.
    bool SeekEntry(PakCursor& cursor, std::uint32_t target);
    // The entry's size; 0 without one. A size no archive file of this length could hold (a
    // stored entry larger than the file, a compressed one larger than deflate can inflate the
    // whole file to) is cut to that bound: the entry cannot deliver it anyway, and a whole-file
    // load must not allocate what a forged directory word asks for. Such an entry still fails to
    // load, short of its size.
    std::uint32_t EntrySize(const PakCursor& cursor) const;
    // The cursor's end flag; true without an entry.
    bool EntryAtEnd(const PakCursor& cursor) const;
    // Whether an entry has the name's hash. Changes nothing.
    bool ContainsEntry(const char* entryName) const;

    // The path the archive was mounted under, prefix included; compared byte for byte with the
    // archive part of every path that is opened.
    String archivePath;
    // How archivePath is encoded: a name from a Unicode host is opened by its wide form.
    NameEncoding nameEncoding;
    std::uint32_t dataStart;
    std::uint32_t reserved;
    // The archive file's length, measured when it was opened (0xFFFFFFFF when it is beyond 32
    // bits or cannot be had).
    std::uint32_t fileSize;
    // Sized once at mount; never changed afterwards, so cursors' pointers to its entries stay
    // valid. A directory the file holds only in part keeps that part and one zero entry standing
    // for all the entries past the file's end (they would be alike, and only the first could be
    // found).
    Array<PakEntry> directory;
    // The archive file's shared handle, null when closed.
    PakFile file;
    std::uint8_t* inflateBuffer;
    std::uint32_t inflateBufferSize;
    // Holders: the mount and every file object with an entry open here. A reference is only ever
    // taken from the mount (under fileLock) or from another holder, so a count that reaches 0 stays 0.
    std::atomic<std::uint32_t> references;
    // Guards file and inflateBuffer once the archive is shared.
    Lock access;

private:
    // The lock of the shared file handle: access, or fileLock where the threads library could not
    // make access.
    Lock* accessLock();
    bool ReadDirectory();
    const PakEntry* FindEntry(const char* entryName) const;
    // Puts from at the absolute offset target, seeking only when it is not there.
    static bool MoveFileTo(PakFile& from, std::uint64_t target);
    // Reads from the absolute offset at, tried again while the file delivers nothing or the read
    // fails, attempts reads in all, each from that offset; the file's position follows what came.
    static std::uint32_t ReadFileBytes(PakFile& from, std::uint64_t at, void* buffer, std::uint32_t count,
                                       std::uint32_t attempts);
    // Runs step on the file a cursor should use: its own handle when it has one; else the shared
    // one when it is free (held for the step); else a handle of its own, opened now, so that no
    // reader waits for another's round trips; the shared one after all when that cannot be had.
    template <class Step>
    auto OnCursorFile(PakCursor& cursor, Step step);
    std::uint32_t ReadStored(PakCursor& cursor, void* buffer, std::uint32_t count);
    std::uint32_t ReadCompressed(const PakEntry& entry, void* buffer, std::uint32_t count);
};
