// PakArchive: the mounted read-only archive. A path that runs through a ".pak" file mounts it
// (MountArchive) and opens the rest of the path as an entry; while it is mounted and idle, the
// disk backend sends the read-side raw operations of file objects to its entry operations. The
// archive is itself a DiskFile and reads its own file through the operations it inherits, with
// archiveState ArchiveBusy while it does. At most one archive is mounted in the process.
//
// The file: an 8-byte header (dataStart, reserved), then (dataStart - 8) / 16 directory entries of
// 16 bytes, then the data area. Entries are found by a hash of their name; names themselves are
// not stored. An entry is stored as it is (packedSize 0) or as one zlib stream of packedSize bytes
// that inflates to size bytes; a compressed entry can only be read whole, in one request.
#pragma once

#include <cstdint>

#include "core/Utils/Array.h"
#include "core/Utils/String.h"
#include "core/fileio/DiskFile.h"

// One directory entry, decoded from its little-endian bytes.
struct PakEntry {
    std::uint32_t nameHash;   // HashEntryName of the entry's name
    std::uint32_t offset;     // start of its bytes, counted from dataStart
    std::uint32_t packedSize; // 0: stored; else the length of its zlib stream
    std::uint32_t size;       // length of its content
};
static_assert(sizeof(PakEntry) == 16, "a directory entry is 16 bytes in the file");

// An entry displaced by a later OpenEntry, restored when that one is closed.
struct PakEntryState {
    const PakEntry* entry = nullptr;
    String name;
    std::uint32_t position = 0;
    bool atEnd = true;
    // Which open made it current: lets the file object that opened it find it again.
    std::uint32_t ticket = 0;
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

class PakArchive : public DiskFile {
public:
    PakArchive();
    // Shuts the archive down: drops every entry and closes the archive file, whatever archiveState
    // says at that moment; gives the directory, the stack and the inflate buffer back.
    ~PakArchive() override;

    // Opens the archive file and reads the header and the whole directory in one request each,
    // then allocates the inflate buffer (a failure there still mounts, without compressed reads).
    // True when the archive is ready; false, with the file closed, when it cannot be opened or is
    // refused (see the refusal rules in PakArchive.cpp).
    bool Mount(const char* path);

    // The entry operations. The disk backend calls them with fileLock held while archiveState is
    // ArchiveReady; each leaves it ArchiveReady again.
    // Makes the named entry current at position 0, saving the current one on the stack. False when
    // no entry has the name's hash, or when the saved state or the name cannot be stored; nothing
    // changes then. Equal hashes: the first entry in the directory wins.
    bool OpenEntry(const char* entryName);
    // Makes the entry saved by the last OpenEntry current again, where it was left (a re-seek whose
    // failure is noticed by the next read). With nothing saved, no entry is current. False when no
    // entry is current.
    bool CloseEntry();
    // Stored entry: up to count bytes from the entry's position (up to 5 attempts while the file
    // delivers nothing); the bytes delivered. Compressed entry: only a request for exactly its size
    // reads, inflating the whole entry into buffer; anything else gets 0. A compressed read that
    // fails answers the bytes inflated before the failure and never the full count. 0 without a
    // current entry.
    std::uint32_t ReadEntry(void* buffer, std::uint32_t count);
    // Moves within the current entry, clamped to its size; reaching the size sets the end flag, an
    // earlier position leaves it. A compressed entry only seeks to 0. No file seek is made when the
    // file is already there. False without a current entry or when the file seek fails.
    bool SeekEntry(std::uint32_t target);
    // The current entry's size; 0 when there is none. A size no archive file of this length could
    // hold (a stored entry larger than the file, a compressed one larger than deflate can inflate
    // the whole file to) is cut to that bound: the entry cannot deliver it anyway, and a whole-file
    // load must not allocate what a forged directory word asks for. Such an entry still fails to
    // load, short of its size.
    std::uint32_t EntrySize();
    // The end flag of the current entry; true when there is none.
    bool EntryAtEnd();
    // Whether an entry has the name's hash. Changes nothing.
    bool ContainsEntry(const char* entryName);

    // The disk backend's bookkeeping of which file object opened which entry. Every OpenEntry gets
    // a ticket, unique in the process; the object keeps it.
    std::uint32_t CurrentTicket() const { return entryTicket; }
    // Makes the entry opened under ticket current, swapping it with the current one if it was
    // displaced, so that an object reads its own entry even after other objects opened theirs.
    // False when no entry of that ticket is current or saved.
    bool ResumeEntry(std::uint32_t ticket);
    // Forgets the saved entry of ticket (its object closes while another entry is current). False
    // when it is not saved.
    bool DropEntry(std::uint32_t ticket);

    // The path the archive was mounted under, prefix included; compared byte for byte with the
    // archive part of every path that is opened.
    String archivePath;
    std::uint32_t dataStart;
    std::uint32_t reserved;
    // The archive file's length, measured when it was opened (0xFFFFFFFF when it is beyond 32
    // bits or cannot be had).
    std::uint32_t fileSize;
    // Sized once at mount; never changed afterwards, so pointers to its entries stay valid. A
    // directory the file holds only in part keeps that part and one zero entry standing for all
    // the entries past the file's end (they would be alike, and only the first could be found).
    Array<PakEntry> directory;
    const PakEntry* currentEntry;
    // Where the archive file's read position is, as an absolute offset; trusted only while
    // filePositionKnown (a failed seek leaves it unknown, and the next read seeks).
    std::uint32_t filePosition;
    bool filePositionKnown;
    std::uint32_t entryPosition;
    bool entryAtEnd;
    String entryName;
    std::uint32_t entryTicket;
    Array<PakEntryState> stateStack;
    std::uint8_t* inflateBuffer;
    std::uint32_t inflateBufferSize;

private:
    bool ReadDirectory();
    // Drops every entry and closes the archive file.
    void ShutDown();
    const PakEntry* FindEntry(const char* entryName) const;
    // Puts the archive file at the absolute offset target, seeking only when it is not there.
    bool MoveFileTo(std::uint64_t target);
    // RawRead, called again while it delivers nothing, attempts calls in all; filePosition
    // follows what came.
    std::uint32_t ReadFileBytes(void* buffer, std::uint32_t count, std::uint32_t attempts);
    std::uint32_t ReadStored(void* buffer, std::uint32_t count);
    std::uint32_t ReadCompressed(void* buffer, std::uint32_t count);
    // Swaps the current entry with saved record number index.
    void SwapWithSaved(std::uint32_t index);
};

// Mounts the archive at archivePath. Fails at once, changing nothing, when an archive is already
// mounted. True only when the archive is mounted and archiveState is ArchiveReady; on false
// nothing stays mounted, archiveState is ArchiveNone and the archive file is closed. The archive
// file's name is read in encoding (the archive object keeps it as its nameEncoding). The caller
// holds fileLock.
bool MountArchive(const char* archivePath, NameEncoding encoding = NameEncoding::Ansi);
// Destroys the mounted archive, closing its file; currentArchive null and archiveState
// ArchiveNone afterwards. False when nothing was mounted. The caller holds fileLock.
bool UnmountArchive();
