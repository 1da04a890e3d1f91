// The pak archive: mounting and its refusals, the directory lookup, stored reads and the
// whole-entry inflate of compressed ones, each on the caller's cursor.
// The shared handle is used under the archive's own lock; the directory is read-only once mounted.
#include "core/fileio/PakArchive.h"

#include <zlib.h>

#include <cstddef>

#include "core/Utils/LittleEndian.h"
#include "core/fileio/DiskHandle.h"
#include "core/fileio/SharedState.h"
#include "core/memory/HeapRegistry.h"
#include "core/thread/Lock.h"

namespace {

std::uint64_t entryStart(std::uint32_t dataStart, const PakEntry& entry) {
    // In 64 bits: an offset that would wrap past 4 GiB must not land back at the header.
    return std::uint64_t{dataStart} + entry.offset;
}

} // namespace

// zlib's memory comes from the registry like every other allocation of the system. items x size
// is computed in 64 bits: a product that does not fit a 32-bit request answers null rather than a
// small block that zlib would overrun.
void* zlibAllocate(void*, unsigned items, unsigned size) {
    const std::uint64_t bytes = std::uint64_t{items} * size;
    if (bytes > 0xFFFFFFFFu) {
        return Z_NULL;
    }
    return heapAllocate(static_cast<std::uint32_t>(bytes), alignof(std::max_align_t), HeapCategory::Engine);
}

void zlibRelease(void*, void* block) { heapRelease(block); }

std::uint32_t HashEntryName(const char* name) {
    if (name == nullptr) {
        return 0;
    }
    const z_crc_t* table = get_crc_table();
    std::uint32_t hash = 0;
    for (const unsigned char* byte = reinterpret_cast<const unsigned char*>(name); *byte != 0; ++byte) {
        hash = (hash >> 8) ^ static_cast<std::uint32_t>(table[(hash ^ *byte) & 0xFFu]);
    }
    return hash;
}

PakArchive::PakArchive()
    : archivePath(), nameEncoding(NameEncoding::Ansi), dataStart(0), reserved(0), fileSize(0), directory(HeapCategory::Engine),
      file(), inflateBuffer(nullptr),
      inflateBufferSize(pakInflateBufferBytes), references(1), access(nullptr) {}

PakArchive::~PakArchive() {
    closeHandle(file.handle);
    file.handle = nullptr;
    heapRelease(inflateBuffer);
    inflateBuffer = nullptr;
    inflateBufferSize = 0;
}

void PakArchive::AddReference() { references.fetch_add(1); }

Lock* PakArchive::accessLock() { return access.made ? &access : fileLock.load(); }

void PakArchive::Release(PakArchive* archive) {
    if (archive == nullptr) {
        return;
    }
    if (archive->references.fetch_sub(1) == 1) {
        // Archives are made with the category form of operator new; delete gives the object back
        // to the registry (and does nothing after its teardown).
        delete archive;
    }
}

bool PakArchive::Mount(const char* path) {
    if (!archivePath.assign(path)) {
        return false;
    }
    file.handle = openHandleForReading(path, nameEncoding);
    if (file.handle == nullptr) {
        return false;
    }
    // The directory and the entries' sizes are bounded by the file's length. One that cannot be
    // had, or does not fit 32 bits, bounds nothing.
    if (!queryHandleSize(file.handle, fileSize)) {
        fileSize = 0xFFFFFFFFu;
    }
    if (!ReadDirectory()) {
        closeHandle(file.handle);
        file.handle = nullptr;
        return false;
    }
    // Without the buffer the archive still serves its stored entries; compressed ones read nothing.
    inflateBuffer = static_cast<std::uint8_t*>(heapAllocate(inflateBufferSize, 1, HeapCategory::Engine));
    if (inflateBuffer == nullptr) {
        inflateBufferSize = 0;
    }
    return true;
}

// Refusal rules, each of them a dataStart that cannot describe a directory we would read:
//  - 0 marks an unusable archive;
//  - 1 to 7 would wrap (dataStart - 8) to a count of hundreds of millions of entries;
//  - (dataStart - 8) not a multiple of 16 leaves the data area out of step with the directory;
//  - a directory beyond 16 MiB: no real archive has a million entries, and a forged dataStart
//    must not make us allocate and zero gigabytes;
//  - 8, no entries: there is nothing to read.
// A short directory read still mounts: whatever the file did not hold stays zero.
bool PakArchive::ReadDirectory() {
    file.position = 0;
    file.positionKnown = true;
    std::uint8_t header[8] = {};
    // A header cut short keeps zeros in what it did not reach.
    if (ReadFileBytes(file, 0, header, sizeof header, 1) == 0) {
        return false;
    }
    dataStart = le::readU32(header);
    reserved = le::readU32(header + 4);
    if (dataStart < 8 || (dataStart - 8) % 16 != 0 || dataStart - 8 > pakMaxDirectoryBytes || dataStart == 8) {
        return false;
    }
    const std::uint32_t directoryBytes = dataStart - 8;
    // Entries wholly past the end of the file would all be zero, alike in every field, and a
    // lookup could only ever find the first of them. So the directory keeps what the file holds
    // of it and one zero entry for all that lies beyond: mounting and every lookup cost what the
    // file holds, not what its header claims.
    if (fileSize <= 8) {
        return false;
    }
    const std::uint32_t heldBytes = fileSize - 8 < directoryBytes ? fileSize - 8 : directoryBytes;
    // Entries the file holds, whole or in part; then the zero one, if any entry lies wholly beyond.
    const std::uint32_t touched = heldBytes / 16 + (heldBytes % 16 != 0 ? 1 : 0);
    const std::uint32_t entryCount = touched + (touched < directoryBytes / 16 ? 1 : 0);
    if (!directory.resize(entryCount, PakEntry{0, 0, 0, 0})) {
        return false;
    }
    // The whole directory in one request, straight into its storage, then decoded in place.
    std::uint8_t* bytes = reinterpret_cast<std::uint8_t*>(directory.begin());
    if (ReadFileBytes(file, sizeof header, bytes, heldBytes, 1) == 0) {
        return false;
    }
    for (PakEntry& entry : directory) {
        std::uint8_t raw[16];
        const std::uint8_t* from = reinterpret_cast<const std::uint8_t*>(&entry);
        for (std::uint32_t i = 0; i < sizeof raw; ++i) {
            raw[i] = from[i];
        }
        entry.nameHash = le::readU32(raw);
        entry.offset = le::readU32(raw + 4);
        entry.packedSize = le::readU32(raw + 8);
        entry.size = le::readU32(raw + 12);
    }
    return true;
}

const PakEntry* PakArchive::FindEntry(const char* name) const {
    const std::uint32_t hash = HashEntryName(name);
    for (const PakEntry& entry : directory) {
        if (entry.nameHash == hash) {
            return &entry;
        }
    }
    return nullptr;
}

bool PakArchive::MoveFileTo(PakFile& from, std::uint64_t target) {
    // Beyond 4 GiB there is no file to seek in: an entry placed there has no readable bytes.
    if (target > 0xFFFFFFFFu) {
        return false;
    }
    if (from.positionKnown && from.position == target) {
        return true;
    }
    // Where a failed seek left the handle is not known; it must not be taken for the target.
    from.positionKnown = false;
    if (!seekHandle(from.handle, static_cast<std::uint32_t>(target))) {
        return false;
    }
    from.position = static_cast<std::uint32_t>(target);
    from.positionKnown = true;
    return true;
}

std::uint32_t PakArchive::ReadFileBytes(PakFile& from, std::uint64_t at, void* buffer, std::uint32_t count,
                                        std::uint32_t attempts) {
    std::uint32_t delivered = 0;
    // Bounded by attempts; a call that delivers anything ends it. A transient failure of the
    // storage is tried again like an empty read, each attempt from where the caller stands.
    for (std::uint32_t attempt = 0; attempt < attempts && delivered == 0; ++attempt) {
        if (!MoveFileTo(from, at)) {
            continue;
        }
        if (!readFromHandle(from.handle, buffer, count, delivered)) {
            // A failed read may have moved the handle by any amount.
            from.positionKnown = false;
            delivered = 0;
        }
    }
    from.position += delivered;
    return delivered;
}

template <class Step>
auto PakArchive::OnCursorFile(PakCursor& cursor, Step step) {
    if (cursor.own.handle != nullptr) {
        return step(cursor.own);
    }
    Lock* shared = accessLock();
    if (shared == nullptr || shared->tryAcquire()) {
        auto result = step(file);
        if (shared != nullptr) {
            shared->release();
        }
        return result;
    }
    // Another reader is waiting on the storage through the shared handle.
    cursor.own.handle = openHandleForReading(archivePath.c_str(), nameEncoding);
    cursor.own.positionKnown = false;
    if (cursor.own.handle != nullptr) {
        return step(cursor.own);
    }
    ScopedLock guard(shared);
    return step(file);
}

bool PakArchive::OpenEntry(const char* name, PakCursor& cursor) {
    const PakEntry* found = FindEntry(name);
    if (found == nullptr) {
        return false;
    }
    CloseEntry(cursor);
    cursor.entry = found;
    cursor.position = 0;
    cursor.atEnd = false;
    return true;
}

bool PakArchive::CloseEntry(PakCursor& cursor) {
    closeHandle(cursor.own.handle);
    const bool open = cursor.entry != nullptr;
    cursor = PakCursor{};
    return open;
}

std::uint32_t PakArchive::ReadEntry(PakCursor& cursor, void* buffer, std::uint32_t count) {
    if (cursor.entry == nullptr) {
        return 0;
    }
    if (cursor.entry->packedSize != 0) {
        // The inflate buffer is the archive's one: compressed reads take turns.
        ScopedLock guard(accessLock());
        return ReadCompressed(*cursor.entry, buffer, count);
    }
    return ReadStored(cursor, buffer, count);
}

std::uint32_t PakArchive::ReadStored(PakCursor& cursor, void* buffer, std::uint32_t count) {
    const PakEntry& entry = *cursor.entry;
    // The cursor never passes the size: seeks clamp to it and reads stop at it.
    const std::uint32_t left = entry.size - cursor.position;
    const std::uint32_t wanted = count < left ? count : left;
    if (wanted == 0) {
        cursor.atEnd = true;
        return 0;
    }
    // Other cursors may share the file handle: every read puts it where this one stands (no seek
    // when it is there already, as on a run of reads by one object).
    const std::uint64_t at = entryStart(dataStart, entry) + cursor.position;
    const std::uint32_t delivered =
        OnCursorFile(cursor, [&](PakFile& from) { return ReadFileBytes(from, at, buffer, wanted, 5); });
    cursor.position += delivered;
    if (cursor.position >= entry.size) {
        cursor.atEnd = true;
    }
    return delivered;
}

std::uint32_t PakArchive::ReadCompressed(const PakEntry& entry, void* buffer, std::uint32_t count) {
    // No input buffer (its allocation failed at mount), or a piecewise request: nothing is read.
    if (inflateBuffer == nullptr || inflateBufferSize == 0 || count != entry.size) {
        return 0;
    }
    z_stream stream{};
    stream.zalloc = zlibAllocate;
    stream.zfree = zlibRelease;
    stream.opaque = Z_NULL;
    if (inflateInit(&stream) != Z_OK) {
        return 0;
    }
    std::uint8_t* output = static_cast<std::uint8_t*>(buffer);
    std::uint32_t produced = 0;
    bool ended = false;
    std::uint64_t from = entryStart(dataStart, entry);
    std::uint32_t remaining = entry.packedSize;
    // Each pass takes a whole chunk (at least one byte) off remaining or ends the loop.
    while (remaining > 0) {
        const std::uint32_t chunk = remaining < inflateBufferSize ? remaining : inflateBufferSize;
        if (ReadFileBytes(file, from, inflateBuffer, chunk, 5) != chunk) {
            break;
        }
        from += chunk;
        remaining -= chunk;
        stream.next_in = inflateBuffer;
        stream.avail_in = chunk;
        stream.next_out = output + produced;
        stream.avail_out = count - produced;
        const int result = inflate(&stream, Z_NO_FLUSH);
        // What the call that found the damage wrote is not counted.
        if (result == Z_NEED_DICT || result == Z_DATA_ERROR || result == Z_MEM_ERROR) {
            break;
        }
        produced = count - stream.avail_out;
        if (result == Z_STREAM_END) {
            ended = true;
            break;
        }
        // Input left over means inflate stopped for want of room: the window ends at the
        // entry's size, so the stream would produce more than the directory promised.
        if (stream.avail_in != 0) {
            break;
        }
    }
    // Packed bytes that run out before the stream's end leave ended false: a failure.
    inflateEnd(&stream);
    if (ended) {
        // A stream that ends early answers what it really gave, never the stale rest of buffer.
        return produced;
    }
    // A failure never answers the full count, which a caller would take for success: a window
    // filled by a stream that then fails (too long, or its end missing) answers one byte less.
    if (count > 0 && produced == count) {
        return count - 1;
    }
    return produced;
}

bool PakArchive::SeekEntry(PakCursor& cursor, std::uint32_t target) {
    if (cursor.entry == nullptr) {
        return false;
    }
    const PakEntry& entry = *cursor.entry;
    // A compressed entry is read from its start only.
    if (target != 0 && entry.packedSize != 0) {
        return false;
    }
    const std::uint32_t position = target < entry.size ? target : entry.size;
    const std::uint64_t at = entryStart(dataStart, entry) + position;
    if (!OnCursorFile(cursor, [&](PakFile& from) { return MoveFileTo(from, at); })) {
        return false;
    }
    cursor.position = position;
    if (position == entry.size) {
        cursor.atEnd = true;
    }
    return true;
}

std::uint32_t PakArchive::EntrySize(const PakCursor& cursor) const {
    if (cursor.entry == nullptr) {
        return 0;
    }
    const PakEntry& entry = *cursor.entry;
    const std::uint64_t largest = entry.packedSize == 0 ? fileSize : std::uint64_t{fileSize} * pakLargestInflateRatio;
    return entry.size <= largest ? entry.size : static_cast<std::uint32_t>(largest);
}

bool PakArchive::EntryAtEnd(const PakCursor& cursor) const { return cursor.entry == nullptr || cursor.atEnd; }

bool PakArchive::ContainsEntry(const char* name) const { return FindEntry(name) != nullptr; }
