// The pak archive: mounting and its refusals, the directory lookup, the stack of displaced
// entries, stored reads and the whole-entry inflate of compressed ones. Everything here runs
// under fileLock (the disk backend and name resolution hold it), so the archive keeps no lock of
// its own.
#include "core/fileio/PakArchive.h"

#include <zlib.h>

#include <cstddef>
#include <utility>

#include "core/Utils/LittleEndian.h"
#include "core/fileio/SharedState.h"
#include "core/memory/HeapRegistry.h"

namespace {

// Tickets of entry opens, unique in the process while it opens fewer than 2^32 entries; 0 means
// none. Changed only under fileLock.
std::uint32_t lastEntryTicket = 0;

std::uint32_t newEntryTicket() {
    ++lastEntryTicket;
    if (lastEntryTicket == 0) {
        lastEntryTicket = 1;
    }
    return lastEntryTicket;
}

// Marks the archive busy with its own file for one scope, so that its reads reach the disk, and
// ready again on every way out.
class BusyScope {
public:
    BusyScope() { archiveState.store(ArchiveState::ArchiveBusy); }
    ~BusyScope() { archiveState.store(ArchiveState::ArchiveReady); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
};

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
    : DiskFile(true), archivePath(), dataStart(0), reserved(0), fileSize(0), directory(categoryNumber(HeapCategory::Engine)),
      currentEntry(nullptr), filePosition(0), filePositionKnown(false), entryPosition(0), entryAtEnd(true),
      entryName(), entryTicket(0), stateStack(categoryNumber(HeapCategory::Engine)), inflateBuffer(nullptr),
      inflateBufferSize(pakInflateBufferBytes) {}

PakArchive::~PakArchive() {
    // Whatever archiveState says by now (UnmountArchive has already set it to ArchiveNone), the
    // archive file is closed here: nothing else would ever close its handle.
    ShutDown();
    if (currentArchive.load() == this) {
        currentArchive.store(nullptr);
        archiveState.store(ArchiveState::ArchiveNone);
    }
    heapRelease(inflateBuffer);
    inflateBuffer = nullptr;
    inflateBufferSize = 0;
}

void PakArchive::ShutDown() {
    currentEntry = nullptr;
    entryName.clear();
    entryPosition = 0;
    entryAtEnd = true;
    entryTicket = 0;
    stateStack.releaseStorage();
    if (readHandle != nullptr) {
        // The archive holds its own handle, so this close goes to the disk whatever archiveState is.
        DiskFile::RawClose();
    }
    filePositionKnown = false;
}

bool PakArchive::Mount(const char* path) {
    if (!archivePath.assign(path)) {
        return false;
    }
    archiveState.store(ArchiveState::ArchiveBusy);
    const bool opened = RawOpenRead(path);
    // The open measured the file; the directory and the entries' sizes are bounded by it. A
    // length of 0 that still opens is a file beyond 32 bits (an empty one has no header to read):
    // it bounds nothing.
    fileSize = rawSize != 0 ? rawSize : 0xFFFFFFFFu;
    if (!opened || !ReadDirectory()) {
        ShutDown();
        archiveState.store(ArchiveState::ArchiveNone);
        return false;
    }
    // Without the buffer the archive still serves its stored entries; compressed ones read nothing.
    inflateBuffer = static_cast<std::uint8_t*>(heapAllocate(inflateBufferSize, 1, HeapCategory::Engine));
    if (inflateBuffer == nullptr) {
        inflateBufferSize = 0;
    }
    archiveState.store(ArchiveState::ArchiveReady);
    return true;
}

// Refusal rules, each of them a dataStart that cannot describe a directory we would read:
//  - 0 marks an unusable archive;
//  - 1 to 7 would wrap (dataStart - 8) to a count of hundreds of millions of entries;
//  - (dataStart - 8) not a multiple of 16 leaves the data area out of step with the directory;
//  - a directory beyond 16 MiB: no real archive has a million entries, and a forged dataStart
//    must not make us allocate and zero gigabytes;
//  - 8, no entries: there is nothing to read.
// A directory read that falls short is accepted: the entries it did not reach are zero.
bool PakArchive::ReadDirectory() {
    filePosition = 0;
    filePositionKnown = true;
    std::uint8_t header[8] = {};
    // A header cut short keeps zeros in what it did not reach.
    if (ReadFileBytes(header, sizeof header, 1) == 0) {
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
    if (ReadFileBytes(bytes, heldBytes, 1) == 0) {
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

bool PakArchive::MoveFileTo(std::uint64_t target) {
    // Beyond 4 GiB there is no file to seek in: an entry placed there has no readable bytes.
    if (target > 0xFFFFFFFFu) {
        return false;
    }
    if (filePositionKnown && filePosition == target) {
        return true;
    }
    if (!RawSeek(static_cast<std::uint32_t>(target))) {
        filePositionKnown = false;
        return false;
    }
    // The seek clamps to the file's length; what it reached is where the next read starts.
    filePosition = rawPosition;
    filePositionKnown = true;
    return true;
}

std::uint32_t PakArchive::ReadFileBytes(void* buffer, std::uint32_t count, std::uint32_t attempts) {
    std::uint32_t delivered = 0;
    // Bounded by attempts; a call that delivers anything ends it.
    for (std::uint32_t attempt = 0; attempt < attempts && delivered == 0; ++attempt) {
        delivered = RawRead(buffer, count);
    }
    filePosition += delivered;
    return delivered;
}

bool PakArchive::OpenEntry(const char* name) {
    const PakEntry* found = FindEntry(name);
    if (found == nullptr) {
        return false;
    }
    // Everything that needs memory comes first, so that a failure changes nothing.
    String newName;
    if (!newName.assign(name)) {
        return false;
    }
    if (currentEntry != nullptr) {
        PakEntryState saved;
        saved.entry = currentEntry;
        saved.name = std::move(entryName);
        saved.position = entryPosition;
        saved.atEnd = entryAtEnd;
        saved.ticket = entryTicket;
        if (!stateStack.pushBack(std::move(saved))) {
            // A failed push leaves the record as it was: the name goes back.
            entryName = std::move(saved.name);
            return false;
        }
    }
    currentEntry = found;
    entryTicket = newEntryTicket();
    {
        BusyScope busy;
        // A failed seek leaves the file position unknown; the first read seeks again.
        MoveFileTo(entryStart(dataStart, *found));
    }
    entryPosition = 0;
    entryAtEnd = false;
    entryName = std::move(newName);
    return true;
}

bool PakArchive::CloseEntry() {
    if (currentEntry == nullptr) {
        return false;
    }
    if (stateStack.empty()) {
        currentEntry = nullptr;
        entryAtEnd = true;
        entryName.clear();
        entryTicket = 0;
        return true;
    }
    PakEntryState& top = stateStack[stateStack.count() - 1];
    currentEntry = top.entry;
    entryName = std::move(top.name);
    entryPosition = top.position;
    entryAtEnd = top.atEnd;
    entryTicket = top.ticket;
    stateStack.popBack();
    // A failed re-seek is noticed by the next read, which seeks again.
    SeekEntry(entryPosition);
    return true;
}

void PakArchive::SwapWithSaved(std::uint32_t index) {
    PakEntryState& saved = stateStack[index];
    std::swap(currentEntry, saved.entry);
    std::swap(entryName, saved.name);
    std::swap(entryPosition, saved.position);
    std::swap(entryAtEnd, saved.atEnd);
    std::swap(entryTicket, saved.ticket);
}

bool PakArchive::ResumeEntry(std::uint32_t ticket) {
    if (ticket == 0) {
        return false;
    }
    if (currentEntry != nullptr && entryTicket == ticket) {
        return true;
    }
    for (std::uint32_t i = 0; i < stateStack.count(); ++i) {
        if (stateStack[i].ticket == ticket) {
            // The displaced entry takes the saved one's place in the stack, so that its own object
            // finds it there in turn. Reads seek to the entry's position before they read.
            SwapWithSaved(i);
            return true;
        }
    }
    return false;
}

bool PakArchive::DropEntry(std::uint32_t ticket) {
    if (ticket == 0) {
        return false;
    }
    const std::uint32_t count = stateStack.count();
    for (std::uint32_t i = 0; i < count; ++i) {
        if (stateStack[i].ticket != ticket) {
            continue;
        }
        for (std::uint32_t j = i; j + 1 < count; ++j) {
            stateStack[j] = std::move(stateStack[j + 1]);
        }
        stateStack.popBack();
        return true;
    }
    return false;
}

std::uint32_t PakArchive::ReadEntry(void* buffer, std::uint32_t count) {
    if (currentEntry == nullptr) {
        return 0;
    }
    if (currentEntry->packedSize != 0) {
        return ReadCompressed(buffer, count);
    }
    return ReadStored(buffer, count);
}

std::uint32_t PakArchive::ReadStored(void* buffer, std::uint32_t count) {
    const PakEntry& entry = *currentEntry;
    // entryPosition never passes the size: seeks clamp to it and reads stop at it.
    const std::uint32_t left = entry.size - entryPosition;
    const std::uint32_t wanted = count < left ? count : left;
    if (wanted == 0) {
        entryAtEnd = true;
        return 0;
    }
    BusyScope busy;
    // Usually the file is already there; after another entry's read, a failed seek or a failed
    // compressed read it is put back first.
    if (!MoveFileTo(entryStart(dataStart, entry) + entryPosition)) {
        return 0;
    }
    const std::uint32_t delivered = ReadFileBytes(buffer, wanted, 5);
    entryPosition += delivered;
    if (entryPosition >= entry.size) {
        entryAtEnd = true;
    }
    return delivered;
}

std::uint32_t PakArchive::ReadCompressed(void* buffer, std::uint32_t count) {
    const PakEntry& entry = *currentEntry;
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
    BusyScope busy;
    std::uint8_t* output = static_cast<std::uint8_t*>(buffer);
    std::uint32_t produced = 0;
    bool ended = false;
    if (MoveFileTo(entryStart(dataStart, entry))) {
        std::uint32_t remaining = entry.packedSize;
        // Each pass takes a whole chunk (at least one byte) off remaining or ends the loop.
        while (remaining > 0) {
            const std::uint32_t chunk = remaining < inflateBufferSize ? remaining : inflateBufferSize;
            if (ReadFileBytes(inflateBuffer, chunk, 5) != chunk) {
                break;
            }
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
            // The output window always covers the rest of the entry, so a chunk left partly
            // unread means the window is full and the stream goes on: it holds more than size.
            if (stream.avail_in != 0) {
                break;
            }
        }
        // Packed bytes that run out before the stream's end leave ended false: a failure.
    }
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

bool PakArchive::SeekEntry(std::uint32_t target) {
    if (currentEntry == nullptr) {
        return false;
    }
    const PakEntry& entry = *currentEntry;
    // A compressed entry is read from its start only.
    if (target != 0 && entry.packedSize != 0) {
        return false;
    }
    const std::uint32_t position = target < entry.size ? target : entry.size;
    {
        BusyScope busy;
        if (!MoveFileTo(entryStart(dataStart, entry) + position)) {
            return false;
        }
    }
    entryPosition = position;
    if (position == entry.size) {
        entryAtEnd = true;
    }
    return true;
}

std::uint32_t PakArchive::EntrySize() {
    if (currentEntry == nullptr) {
        return 0;
    }
    const std::uint64_t largest =
        currentEntry->packedSize == 0 ? fileSize : std::uint64_t{fileSize} * pakLargestInflateRatio;
    return currentEntry->size <= largest ? currentEntry->size : static_cast<std::uint32_t>(largest);
}

bool PakArchive::EntryAtEnd() { return entryAtEnd; }

bool PakArchive::ContainsEntry(const char* name) { return FindEntry(name) != nullptr; }

bool MountArchive(const char* archivePath, NameEncoding encoding) {
    if (currentArchive.load() != nullptr) {
        return false;
    }
    PakArchive* archive = new (HeapCategory::PakArchive) PakArchive();
    if (archive == nullptr) {
        return false;
    }
    archive->nameEncoding = encoding;
    if (!archive->Mount(archivePath)) {
        // Mount has closed the file and left archiveState ArchiveNone.
        delete archive;
        return false;
    }
    currentArchive.store(archive);
    archiveState.store(ArchiveState::ArchiveReady);
    return true;
}

bool UnmountArchive() {
    PakArchive* archive = currentArchive.exchange(nullptr);
    archiveState.store(ArchiveState::ArchiveNone);
    if (archive == nullptr) {
        return false;
    }
    // The destructor closes the archive file although archiveState already says ArchiveNone.
    // Archives are created with the category form of operator new; delete gives the object back to
    // the registry (and does nothing after its teardown).
    delete archive;
    return true;
}
