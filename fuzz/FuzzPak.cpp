// Fuzz target: any bytes as a pak archive, mounted as it is, with entry opens and reads driven by
// the same bytes: the last scriptBytes of the input (data-area bytes as far as the archive is
// concerned) are also a script of steps on four file objects at once: opens of names the directory
// lists (a name is made to hash to a directory word) and of other names, piecewise and whole-file
// opens (a whole-file load inflates a compressed entry), reads, seeks, skips, closes, probes, the
// plugin's identify and draw of an entry while others are open, a loose file, an unmount and an
// entry of another archive that drop or replace the mount under open objects. Whatever is
// delivered from an entry must be the entry's bytes: a stored entry's as they lie in the input, a
// compressed one's as zlib inflates them; and a stored entry the input holds whole keeps
// delivering all that is asked of it, whatever was mounted since it was opened.
// Every input ends with every object closed, the archive unmounted and no handle open.
#include <windows.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/fileio/DiskFile.h"
#include "core/fileio/ArchiveMount.h"
#include "core/fileio/PakArchive.h"
#include "core/fileio/SharedState.h"
#include "core/thread/Lock.h"
#include "fuzz/MemoryFiles.h"
#include "plugin/EntryPoints.h"

namespace {

constexpr std::size_t scriptBytes = 48;
constexpr std::uint32_t slotCount = 4;
const char archivePath[] = "C:/in/fuzz.pak";
const char loosePath[] = "C:/in/loose.wav";
const std::uint8_t looseBytes[] = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'};
// Another archive, whose one entry "o.wav" holds "ABCD": opening it replaces the mount.
const char otherPath[] = "C:/in/other.pak";
const char otherEntryPath[] = "C:/in/other.pak/o.wav";

std::vector<std::uint8_t> otherArchive() {
    std::vector<std::uint8_t> bytes = {24, 0, 0, 0, 0, 0, 0, 0};
    const std::uint32_t words[4] = {HashEntryName("o.wav"), 0, 0, 4};
    for (std::uint32_t word : words) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
        }
    }
    for (char c : {'A', 'B', 'C', 'D'}) {
        bytes.push_back(static_cast<std::uint8_t>(c));
    }
    return bytes;
}

// Names tried as they are: the seeds' names (and those a replay of the corpus through the DLL
// tries), spellings that resolution rewrites, and names no archive is likely to hold.
const char* const fixedNames[] = {
    "", "a.wav", "b.wav", "dir/b.wav", "drums/kick.wav", "sounds/a.wav", "x", "dir\\b.wav",
    "dir/./b.wav", "missing.wav", "A.wav", "tune.z", "big.z", "a.wav/more", "./a.wav",
};
constexpr std::uint32_t fixedNameCount = sizeof(fixedNames) / sizeof(fixedNames[0]);

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_pak: %s\n", what);
    std::abort();
}

// The directory as the mount reads it: the words the input holds, zeros past its end.
struct Archive {
    const std::uint8_t* data;
    std::size_t size;

    std::uint32_t word(std::uint64_t at) const {
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i) {
            const std::uint64_t where = at + static_cast<std::uint64_t>(i);
            value = (value << 8) | (where < size ? data[where] : 0);
        }
        return value;
    }
    std::uint32_t dataStart() const { return word(0); }
    // Only a directory the mount accepts counts; its size is what the mount reads.
    std::uint32_t entryCount() const {
        const std::uint32_t start = dataStart();
        if (start <= 8 || (start - 8) % 16 != 0 || start - 8 > pakMaxDirectoryBytes) {
            return 0;
        }
        return (start - 8) / 16;
    }
    PakEntry entry(std::uint32_t index) const {
        const std::uint64_t at = 8 + std::uint64_t{16} * index;
        return PakEntry{word(at), word(at + 4), word(at + 8), word(at + 12)};
    }
    // The first entry with the name's hash, as the lookup finds it. Entries wholly past the
    // input are all zero: only the first of them counts.
    bool find(const std::string& name, PakEntry& found) const {
        const std::uint32_t hash = HashEntryName(name.c_str());
        const std::uint32_t count = entryCount();
        for (std::uint32_t i = 0; i < count; ++i) {
            if (entry(i).nameHash == hash) {
                found = entry(i);
                return true;
            }
            if (8 + std::uint64_t{16} * i >= size) {
                break;
            }
        }
        return false;
    }
};

// A name whose hash is target: a stem and four bytes chosen backwards through the table (the hash
// is a CRC without inversion, so any value is reached). Stems are tried until the four bytes hold
// no NUL and no separator, which resolution would cut or rewrite.
std::string nameWithHash(std::uint32_t target) {
    const z_crc_t* table = get_crc_table();
    static std::uint8_t indexOfTop[256];
    static bool built = false;
    for (std::uint32_t i = 0; !built && i < 256; ++i) {
        indexOfTop[table[i] >> 24] = static_cast<std::uint8_t>(i);
    }
    built = true;
    for (char stem = 'a'; stem <= 'z'; ++stem) {
        std::string name(1, stem);
        std::uint32_t start = HashEntryName(name.c_str());
        std::uint8_t index[4];
        std::uint32_t value = target;
        for (int k = 3; k >= 0; --k) {
            index[k] = indexOfTop[value >> 24];
            value = (value ^ static_cast<std::uint32_t>(table[index[k]])) << 8;
        }
        std::uint32_t hash = start;
        bool clean = true;
        for (int k = 0; k < 4; ++k) {
            const std::uint8_t byte = static_cast<std::uint8_t>(index[k] ^ (hash & 0xFFu));
            clean = clean && byte != 0 && byte != '/' && byte != '\\';
            name.push_back(static_cast<char>(byte));
            hash = (hash >> 8) ^ static_cast<std::uint32_t>(table[index[k]]);
        }
        if (clean) {
            if (HashEntryName(name.c_str()) != target) {
                fail("the forged name misses its hash");
            }
            return name;
        }
    }
    return "missing.wav";
}

// The script: one byte per step and its argument bytes; 0 once it runs out.
struct Script {
    const std::uint8_t* bytes;
    std::size_t size;
    std::size_t next = 0;
    bool done() const { return next >= size; }
    std::uint8_t take() { return next < size ? bytes[next++] : 0; }
};

enum class Kind { None, Entry, Loose, ArchiveItself, Other };

// A file object of the script and what it has open.
struct Slot {
    DiskFile file{false};
    Kind kind = Kind::None;
    PakEntry entry{};
};

class Run {
public:
    Run(const std::uint8_t* data, std::size_t size) : archive{data, size} {}

    void step(Script& script) {
        const std::size_t at = script.next;
        const std::uint8_t op = script.take();
        Slot& slot = slots[op % slotCount];
        const std::uint32_t action = (op / slotCount) % 16;
        if (trace) {
            std::fprintf(stderr, "step %zu: slot %u action %u\n", at, op % slotCount, action);
        }
        switch (action) {
        case 0:
        case 1:
            open(slot, script.take(), 0);
            break;
        case 2:
            open(slot, script.take(), 1);
            break;
        case 3:
        case 4:
        case 5:
            read(slot, script.take());
            break;
        case 6:
            readItems(slot, script.take(), script.take());
            break;
        case 7:
            seek(slot, script.take());
            break;
        case 8:
            skip(slot, static_cast<std::int8_t>(script.take()));
            break;
        case 9:
        case 10:
            close(slot);
            break;
        case 11: {
            // Inside a ready archive Exists takes the bare entry name; a full path probes the disk.
            const std::uint8_t pick = script.take();
            slot.file.Exists(((pick & 1) != 0 ? entryPath(pick) : name(pick)).c_str());
            break;
        }
        case 12:
            identifyAndDraw(script.take());
            break;
        case 13:
            openOther(slot, loosePath, Kind::Loose);
            break;
        case 14:
            openOther(slot, archivePath, Kind::ArchiveItself);
            break;
        default:
            if ((script.take() & 1) != 0) {
                openOther(slot, otherEntryPath, Kind::Other);
            } else {
                unmount();
            }
            break;
        }
    }

    void finish() {
        for (Slot& slot : slots) {
            close(slot);
        }
        unmount();
    }

private:
    std::string name(std::uint8_t pick) const {
        if (pick < fixedNameCount) {
            return fixedNames[pick];
        }
        const std::uint32_t count = archive.entryCount();
        if (count == 0) {
            return "missing.wav";
        }
        return nameWithHash(archive.entry(pick % count).nameHash);
    }
    std::string entryPath(std::uint8_t pick) const { return std::string(archivePath) + "/" + name(pick); }

    void open(Slot& slot, std::uint8_t pick, std::uint32_t loadWhole) {
        const std::string entryName = name(pick);
        const std::string path = std::string(archivePath) + "/" + entryName;
        // Resolution turns '\\' into '/' and "/./" into "/" before the lookup.
        std::string resolved = entryName;
        for (char& c : resolved) {
            c = c == '\\' ? '/' : c;
        }
        for (std::size_t at; (at = resolved.find("/./")) != std::string::npos;) {
            resolved.erase(at, 2);
        }
        PakEntry entry{};
        const bool found = archive.find(resolved, entry);
        if (slot.file.state != FileState::Closed) {
            // Refused (AlreadyOpened, AlreadyLoaded); the object keeps what it has.
            if (slot.file.Open(path.c_str(), loadWhole, HeapCategory::Engine)) {
                fail("an open of an object already open succeeded");
            }
            return;
        }
        if (!slot.file.Open(path.c_str(), loadWhole, HeapCategory::Engine)) {
            if (slot.file.state == FileState::Closed) {
                slot.kind = Kind::None;
                return;
            }
            // A whole-file load that failed leaves the object open on the entry.
        }
        if (trace) {
            std::fprintf(stderr, "  open \"%s\" whole %u: state %u, error %u, size %u\n", resolved.c_str(), loadWhole,
                         static_cast<unsigned>(slot.file.state), static_cast<unsigned>(slot.file.lastError), slot.file.size);
        }
        if (!found) {
            fail("an open succeeded on a name the directory does not hold");
        }
        slot.kind = Kind::Entry;
        slot.entry = entry;
        if (slot.file.state == FileState::Loaded) {
            checkLoaded(slot);
        }
    }

    void openOther(Slot& slot, const char* path, Kind kind) {
        if (slot.file.state != FileState::Closed) {
            slot.file.Open(path);
            return;
        }
        slot.kind = slot.file.Open(path) ? kind : Kind::None;
    }

    bool heldWhole(const PakEntry& entry) const {
        return std::uint64_t{archive.dataStart()} + entry.offset + entry.size <= archive.size;
    }

    // The content an entry must give: a stored one's bytes as they lie, a compressed one's
    // inflated. False when the harness cannot say (bytes past the input, a stream zlib refuses).
    bool expected(const PakEntry& entry, std::vector<std::uint8_t>& content) const {
        const std::uint64_t start = std::uint64_t{archive.dataStart()} + entry.offset;
        if (entry.packedSize == 0) {
            if (start + entry.size > archive.size) {
                return false;
            }
            content.assign(archive.data + start, archive.data + start + entry.size);
            return true;
        }
        if (start >= archive.size) {
            return false;
        }
        const std::uint64_t available = archive.size - start;
        uLong packed = static_cast<uLong>(entry.packedSize < available ? entry.packedSize : available);
        content.resize(entry.size);
        uLongf length = entry.size;
        const int result = uncompress2(content.data(), &length, archive.data + start, &packed);
        return result == Z_OK && length == entry.size;
    }

    void checkLoaded(const Slot& slot) {
        std::vector<std::uint8_t> content;
        if (slot.file.size != slot.entry.size) {
            fail("a loaded entry has another size than its directory word");
        }
        if (!expected(slot.entry, content)) {
            // A stored entry past the input's end cannot load whole; a stream zlib refuses must
            // not inflate either.
            fail("an entry loaded whole that cannot be whole");
        }
        if (slot.entry.size != 0 && std::memcmp(slot.file.memoryData, content.data(), slot.entry.size) != 0) {
            fail("a loaded entry differs from its content");
        }
    }

    // Checks that bytes delivered at position come from the slot's entry.
    void checkDelivered(const Slot& slot, std::uint32_t position, const std::uint8_t* bytes, std::uint32_t count) {
        if (count == 0) {
            return;
        }
        if (slot.kind == Kind::Other && (std::uint64_t{position} + count > 4 || std::memcmp(&"ABCD"[position], bytes, count) != 0)) {
            fail("the other archive's entry gave other bytes");
        }
        if (slot.kind != Kind::Entry) {
            if (slot.kind == Kind::ArchiveItself &&
                (std::uint64_t{position} + count > archive.size || std::memcmp(archive.data + position, bytes, count) != 0)) {
                fail("the archive file read as a file gave other bytes");
            }
            return;
        }
        if (std::uint64_t{position} + count > slot.entry.size) {
            fail("a read delivered past the entry's end");
        }
        if (slot.entry.packedSize == 0) {
            const std::uint64_t start = std::uint64_t{archive.dataStart()} + slot.entry.offset + position;
            if (start + count > archive.size || std::memcmp(archive.data + start, bytes, count) != 0) {
                fail("a stored entry delivered bytes it does not hold");
            }
            return;
        }
        // A compressed entry is read whole in one request (or from its loaded image).
        if (slot.file.state == FileState::Opened && position != 0) {
            fail("a compressed entry delivered bytes piecewise");
        }
        std::vector<std::uint8_t> content;
        if (expected(slot.entry, content) && std::memcmp(content.data() + position, bytes, count) != 0) {
            fail("a compressed entry delivered other bytes than it inflates to");
        }
    }

    // A read of asked bytes, or of items when items is set, into a buffer of bufferBytes.
    void readInto(Slot& slot, std::uint32_t asked, std::uint32_t bufferBytes, const std::uint32_t* items = nullptr) {
        // Exactly as large as the read may fill, the request cut to the rest of the object, so
        // that a byte past it is the sanitizer's. Not cleared: what the read leaves is never used.
        const std::uint32_t position = slot.file.position;
        const std::uint32_t rest = slot.file.state != FileState::Closed && position < slot.file.size ? slot.file.size - position : 0;
        bufferBytes = bufferBytes < rest ? bufferBytes : rest;
        const bool mustDeliver = slot.kind == Kind::Entry && slot.file.state == FileState::Opened && !slot.file.atEnd &&
                                 slot.entry.packedSize == 0 && heldWhole(slot.entry);
        std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[bufferBytes != 0 ? bufferBytes : 1]);
        const std::uint32_t got = items != nullptr ? slot.file.Read(buffer.get(), items[0], items[1])
                                                   : slot.file.Read(buffer.get(), asked);
        if (trace) {
            std::fprintf(stderr, "  read at %u: %u of %u bytes\n", position, got, items != nullptr ? items[0] * items[1] : asked);
        }
        if (got > bufferBytes) {
            fail("a read answered more bytes than it may deliver");
        }
        if (got != 0 && slot.file.position != position + got) {
            fail("a read moved the position by another count than it answered");
        }
        const std::uint64_t wanted = items != nullptr ? std::uint64_t{items[0]} * items[1] : asked;
        if (mustDeliver && wanted != 0 && got != (wanted < rest ? wanted : rest)) {
            fail("an open entry stopped delivering its bytes");
        }
        checkDelivered(slot, position, buffer.get(), got);
    }

    // What is left of the object's size: a request for everything gets that much room, within
    // reason (declared sizes reach 4 GiB; the read itself is then left out).
    static bool restFits(const Slot& slot, std::uint32_t& rest) {
        rest = slot.file.position < slot.file.size ? slot.file.size - slot.file.position : 0;
        return rest <= (1u << 20);
    }

    void read(Slot& slot, std::uint8_t how) {
        std::uint32_t rest = 0;
        if (how >= 0xF0) {
            // The whole rest, or 0xFFFFFFFF (also everything that is left).
            if (!restFits(slot, rest)) {
                return;
            }
            readInto(slot, how == 0xFF ? 0xFFFFFFFFu : rest, rest);
            return;
        }
        const std::uint32_t asked = how < 0x80 ? how : (std::uint32_t{how} - 0x80) * 1024;
        readInto(slot, asked, asked);
    }

    void readItems(Slot& slot, std::uint8_t size, std::uint8_t count) {
        const std::uint32_t itemSize = size == 0xFF ? 0x10000u : size;
        const std::uint32_t itemCount = count == 0xFF ? 0x10001u : count;
        const std::uint32_t items[2] = {itemSize, itemCount};
        const std::uint64_t product = std::uint64_t{itemSize} * itemCount;
        std::uint32_t rest = 0;
        if (product > 0xFFFFFFFFu || product > (1u << 20)) {
            // Past 32 bits asks for everything left; either way the rest bounds what comes.
            if (!restFits(slot, rest)) {
                return;
            }
            readInto(slot, 0, rest < product ? rest : static_cast<std::uint32_t>(product), items);
            return;
        }
        readInto(slot, 0, static_cast<std::uint32_t>(product), items);
    }

    void seek(Slot& slot, std::uint8_t how) {
        const std::uint32_t size = slot.file.size;
        const std::uint32_t targets[] = {0, size, size + 1, size / 2, 0xFFFFFFFFu, size - 1};
        const std::uint32_t target = how < 6 ? targets[how] : how - 6u;
        slot.file.Seek(target);
    }

    void skip(Slot& slot, std::int8_t offset) {
        const std::int32_t distance = offset == 127 ? INT32_MAX : offset == -128 ? INT32_MIN : offset;
        slot.file.Skip(distance);
    }

    void close(Slot& slot) {
        slot.file.Close();
        slot.kind = Kind::None;
    }

    // The host's two calls on an entry, with its own file object, while the script's are open.
    void identifyAndDraw(std::uint8_t pick) {
        std::string path = entryPath(pick);
        char text[64];
        FileInfoRecord info;
        std::memset(&info, 0xCD, sizeof(info));
        info.description = text;
        info.descriptionCapacity = sizeof(text);
        const BOOL described = DVP_IdentifyFileA(nullptr, &path[0], &info, nullptr);
        if (trace) {
            std::fprintf(stderr, "  identify %s: %s\n", path.c_str(), described ? text : "refused");
        }
        if (!described) {
            return;
        }
        if (std::memchr(text, '\0', sizeof(text)) == nullptr) {
            fail("the description ran to the end of the host's buffer unterminated");
        }
        ImageSizeRecord small = {48, 16};
        HBITMAP bitmap = DVP_LoadBitmapA(nullptr, &path[0], &info, &small, nullptr);
        if (bitmap != nullptr) {
            DeleteObject(bitmap);
        }
    }

    void unmount() {
        ScopedLock guard(fileLock.load());
        UnmountArchive();
    }

    Archive archive;
    Slot slots[slotCount];
    // SONOLOOK_FUZZ_TRACE set: each step and what it did, on stderr, for reading a finding.
    const bool trace = std::getenv("SONOLOOK_FUZZ_TRACE") != nullptr;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzfiles::install();
    fuzzfiles::add(archivePath, data, size);
    fuzzfiles::add(loosePath, looseBytes, sizeof(looseBytes));
    static const std::vector<std::uint8_t> other = otherArchive();
    fuzzfiles::add(otherPath, other.data(), other.size());
    {
        Run run(data, size);
        const std::size_t scriptStart = size > scriptBytes ? size - scriptBytes : 0;
        Script script{data + scriptStart, size - scriptStart};
        while (!script.done()) {
            run.step(script);
        }
        run.finish();
    }
    if (currentArchive.load() != nullptr) {
        fail("the archive stayed mounted");
    }
    fuzzfiles::reset();
    return 0;
}
