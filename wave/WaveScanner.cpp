// The chunk walk of a RIFF WAVE file and the description it answers.
#include "wave/WaveScanner.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/Utils/LittleEndian.h"
#include "core/fileio/File.h"
#include "core/fileio/ScopedClose.h"
#include "wave/WaveFormat.h"
#include "wave/WaveHostCalls.h"

namespace {

constexpr std::uint32_t chunkHeaderSize = 8;

// The tally of the chunks met on the walk decides whether the end of the file may cut a chunk
// header short: only once it reaches a fmt chunk's weight plus a data chunk's. (Seventeen fmt
// chunks, or two data chunks, reach it too; the fmt check afterwards still refuses those without
// a complete fmt body.)
constexpr std::uint64_t fmtChunkWeight = 1;
constexpr std::uint64_t dataChunkWeight = 16;
constexpr std::uint64_t tallyToMeetTheEnd = fmtChunkWeight + dataChunkWeight;

// What the chunk walk found.
struct ChunkWalk {
    std::uint8_t fmtBody[fmtBodySize];
    // Whether fmtBody came whole from one fmt chunk. A short read at the end of the file would leave
    // some of an earlier chunk's bytes (or zeros) in it, which no one should describe a file by.
    bool fmtComplete;
    std::uint32_t dataOffset;
    std::uint32_t dataLength;
    // 64 bits, so that a flood of empty chunks in a huge file cannot wrap it.
    std::uint64_t tally;
};

// The opened file as the walk sees it: its head, read in one call, served from memory, and the
// file itself beyond. Reads and moves answer exactly as the file object's own would, from the
// size it learnt at the open: a read cut by the end of the file delivers the rest and raises the
// end flag, a move at or past the end lands on the end and raises it, one before it lowers it.
class ScanCursor {
public:
    ScanCursor(File& opened, std::uint32_t fileSize)
        : file(opened), size(fileSize), headLength(0), position(0), atEnd(opened.AtEnd()), fileInStep(true) {}
    ScanCursor(const ScanCursor&) = delete;
    ScanCursor& operator=(const ScanCursor&) = delete;

    // Reads the head. A read that fails or falls short leaves a shorter head (or none): what lies
    // beyond it is then read from the file, so a failure shows where today's reads would meet it.
    void LoadHead() {
        const std::uint32_t wanted = size < scanHeadBytes ? size : scanHeadBytes;
        headLength = file.Read(head, wanted);
        fileInStep = headLength == 0;
    }

    std::uint32_t Read(void* buffer, std::uint32_t bytes) {
        if (atEnd) {
            return 0;
        }
        const std::uint32_t remaining = size - position;
        const bool cut = bytes > remaining;
        const std::uint32_t count = cut ? remaining : bytes;
        // The whole file in the head, or these bytes within it: no call.
        if (headLength == size || count <= headLength - std::min(position, headLength)) {
            std::memcpy(buffer, head + position, count);
            position += count;
            atEnd = atEnd || cut;
            return count;
        }
        // The file's own position is the head's end (or where an earlier skip left the walk).
        if (!fileInStep && !file.Seek(position)) {
            return 0;
        }
        fileInStep = true;
        const std::uint32_t delivered = file.Read(buffer, bytes);
        position += delivered;
        atEnd = file.AtEnd();
        return delivered;
    }

    // File::Skip's answer: the target as computed, also when the move stops at the end.
    std::uint32_t Skip(std::int32_t offset) {
        const std::int64_t wide = std::int64_t{position} + offset;
        std::uint32_t target = 0;
        if (wide > 0xFFFFFFFFll) {
            target = 0xFFFFFFFFu;
        } else if (wide > 0) {
            target = static_cast<std::uint32_t>(wide);
        }
        Seek(target);
        return target;
    }

    bool AtEnd() const { return atEnd; }

    // Moves without a call; the file follows when a read needs it.
    void Seek(std::uint32_t target) {
        atEnd = target >= size;
        position = atEnd ? size : target;
        fileInStep = false;
    }

private:
    File& file;
    const std::uint32_t size;
    // Zeroed, but never read beyond headLength.
    std::uint8_t head[scanHeadBytes] = {};
    std::uint32_t headLength;
    std::uint32_t position;
    bool atEnd;
    // Whether the file's own position is the walk's.
    bool fileInStep;
};

// Moves the walk past length bytes of chunk body. The target is worked out in 64 bits: a size near
// 4 GiB must not wrap it below the position, and a target at or past the end of the file ends the
// walk (false) without moving. Otherwise the position becomes the target.
bool skipBody(ScanCursor& file, std::uint32_t& position, std::uint32_t length, std::uint32_t fileSize) {
    const std::uint64_t target = std::uint64_t{position} + length;
    if (target >= fileSize) {
        return false;
    }
    if (length <= 0x7FFFFFFFu) {
        position = file.Skip(static_cast<std::int32_t>(length));
        return true;
    }
    // A skip takes a signed offset: a longer body (only in files beyond 2 GiB) is passed by an
    // absolute move.
    file.Seek(static_cast<std::uint32_t>(target));
    position = static_cast<std::uint32_t>(target);
    return true;
}

// Reads the 12-byte RIFF header: "RIFF", a size nobody trusts, "WAVE". The first eight bytes stay
// in header for the walk. A file shorter than that leaves zeros and fails the comparisons.
bool readRiffHeader(ScanCursor& file, std::uint8_t (&header)[chunkHeaderSize], std::uint32_t& position) {
    position += file.Read(header, chunkHeaderSize);
    if (!le::isFourCc(header, "RIFF")) {
        return false;
    }
    std::uint8_t formType[4] = {};
    position += file.Read(formType, sizeof formType);
    return le::isFourCc(formType, "WAVE");
}

// One chunk whose header has just been read: the fmt body is read, the data chunk noted, and every
// body skipped. False when the skip ends the walk.
bool passChunk(ScanCursor& file, const std::uint8_t (&header)[chunkHeaderSize], std::uint32_t& position,
               std::uint32_t fileSize, ChunkWalk& found) {
    const std::uint32_t chunkSize = le::readU32(header + 4);
    if (le::isFourCc(header, "fmt ")) {
        // 16 bytes are read even from a shorter fmt chunk; no buffer is sized from the chunk.
        const std::uint32_t delivered = file.Read(found.fmtBody, fmtBodySize);
        position += delivered;
        if (delivered == fmtBodySize) {
            found.fmtComplete = true;
        } else if (delivered > 0) {
            found.fmtComplete = false;
        }
        found.tally += fmtChunkWeight;
        // The fmt size is read as signed: a size of 16 or less (negative ones included) has nothing
        // left to skip.
        if (le::readI32(header + 4) > static_cast<std::int32_t>(fmtBodySize)) {
            return skipBody(file, position, chunkSize - fmtBodySize, fileSize);
        }
        return true;
    }
    if (le::isFourCc(header, "data")) {
        found.dataOffset = position;
        found.dataLength = chunkSize;
        found.tally += dataChunkWeight;
    }
    // Odd sizes are taken as they stand (no padding to an even length): the walk moves by the
    // size field and nothing more.
    return skipBody(file, position, chunkSize, fileSize);
}

// Walks from position to the end of the file one chunk header at a time, looking at the abort event
// before each. header comes in holding the RIFF header and is never cleared: a header read that
// the end of the file cuts short overwrites only its front, and the walk carries on with the tail
// of the header before it (that is how a trailing pad byte gets crossed). False when the file is to
// be refused: an abort, an end met too early, or a pass that got nowhere.
bool walkChunks(ScanCursor& file, std::uint32_t fileSize, std::uint32_t position, std::uint8_t (&header)[chunkHeaderSize],
                void* abortEvent, ChunkWalk& found) {
    // Every pass moves the position forward (its header read delivers at least one byte) or ends
    // the walk, so the walk ends within fileSize passes; a pass found not to have moved ends the
    // scan as a failure rather than repeating for ever.
    while (position < fileSize) {
        if (abortSignalled(abortEvent)) {
            return false;
        }
        const std::uint32_t passStart = position;
        // Bytes remain (the loop's condition), so a header read that delivers none failed on an
        // I/O error, and the buffer still holds the previous header: walking it again would read
        // the bytes after it as that chunk's body (a second fmt body taken from the samples).
        const std::uint32_t delivered = file.Read(header, chunkHeaderSize);
        if (delivered == 0) {
            return false;
        }
        position += delivered;
        if (file.AtEnd() && found.tally < tallyToMeetTheEnd) {
            return false;
        }
        if (!passChunk(file, header, position, fileSize, found)) {
            return true;
        }
        if (position <= passStart) {
            return false;
        }
    }
    return true;
}

// Every check has passed: the answer is written here and nowhere else.
void describe(WaveDescription& description, const ChunkWalk& found) {
    const WaveFormat format = decodeFmtBody(found.fmtBody);
    // Sample rate 0, or a byte rate below it, or INT32_MIN / -1: frame size 0, frame count 0; the
    // file is described but gets no picture.
    const std::int32_t bytesPerFrame = bytesPerFrameOf(format.averageByteRate, format.sampleRate);
    char channels[channelTextSize];
    channelText(format.channelCount, channels);
    formatDescription(description.text, format.sampleRate, format.bitsPerSample, channels, codecName(format.formatTag));
    description.values.isPcm = isPcmFlag(format.formatTag);
    description.values.channelCount = format.channelCount;
    description.values.sampleRate = format.sampleRate;
    description.values.frameCount = frameCountOf(found.dataLength, bytesPerFrame);
    description.values.dataOffset = found.dataOffset;
    description.values.bytesPerFrame = bytesPerFrame;
    description.values.bitsPerSample = format.bitsPerSample;
}

} // namespace

bool scanWaveFile(File& file, const char* name, void* abortEvent, WaveDescription& description) {
    if (!file.Open(name)) {
        return false;
    }
    ScopedClose closer(file);
    const std::uint32_t fileSize = file.Size();
    ScanCursor cursor(file, fileSize);
    cursor.LoadHead();

    // One buffer holds the RIFF header and then every chunk header (see walkChunks).
    std::uint8_t header[chunkHeaderSize] = {};
    // Where the walk believes it is: each read moves it by what it delivered, each skip sets it to
    // where the skip landed.
    std::uint32_t position = 0;
    if (!readRiffHeader(cursor, header, position)) {
        return false;
    }
    ChunkWalk found{};
    if (!walkChunks(cursor, fileSize, position, header, abortEvent, found)) {
        return false;
    }
    // No complete fmt body (no fmt chunk, only data chunks, or a fmt chunk cut short): the format
    // values are unset, and the file is not described.
    if (!found.fmtComplete) {
        return false;
    }
    file.Close();
    describe(description, found);
    return true;
}
