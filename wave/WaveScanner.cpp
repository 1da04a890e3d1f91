// The chunk walk of a RIFF WAVE file and the record it fills.
#include "wave/WaveScanner.h"

#include <cstdint>

#include "core/Utils/LittleEndian.h"
#include "core/fileio/File.h"
#include "core/Utils/TextCopy.h"
#include "core/fileio/ScopedClose.h"
#include "wave/WaveFormat.h"
#include "wave/WaveHostCalls.h"

namespace {

constexpr std::uint32_t fileInfoFlags = 0x00000805u;
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

// Moves the walk past length bytes of chunk body. The target is worked out in 64 bits: a size near
// 4 GiB must not wrap it below the position, and a target at or past the end of the file ends the
// walk (false) without seeking. Otherwise the position becomes what the move reports: the target,
// or the unchanged file position when the seek fails.
bool skipBody(File& file, std::uint32_t& position, std::uint32_t length, std::uint32_t fileSize) {
    const std::uint64_t target = std::uint64_t{position} + length;
    if (target >= fileSize) {
        return false;
    }
    if (length <= 0x7FFFFFFFu) {
        position = file.Skip(static_cast<std::int32_t>(length));
        return true;
    }
    // A skip takes a signed offset: a longer body (only in files beyond 2 GiB) is passed by an
    // absolute seek.
    if (file.Seek(static_cast<std::uint32_t>(target))) {
        position = static_cast<std::uint32_t>(target);
    }
    return true;
}

// Reads the 12-byte RIFF header: "RIFF", a size nobody trusts, "WAVE". The first eight bytes stay
// in header for the walk. A file shorter than that leaves zeros and fails the comparisons.
bool readRiffHeader(File& file, std::uint8_t (&header)[chunkHeaderSize], std::uint32_t& position) {
    position += file.Read(header, chunkHeaderSize, 1);
    if (!le::isFourCc(header, "RIFF")) {
        return false;
    }
    std::uint8_t formType[4] = {};
    position += file.Read(formType, sizeof formType, 1);
    return le::isFourCc(formType, "WAVE");
}

// One chunk whose header has just been read: the fmt body is read, the data chunk noted, and every
// body skipped. False when the skip ends the walk.
bool passChunk(File& file, const std::uint8_t (&header)[chunkHeaderSize], std::uint32_t& position,
               std::uint32_t fileSize, ChunkWalk& found) {
    const std::uint32_t chunkSize = le::readU32(header + 4);
    if (le::isFourCc(header, "fmt ")) {
        // 16 bytes are read even from a shorter fmt chunk; no buffer is sized from the chunk.
        const std::uint32_t delivered = file.Read(found.fmtBody, fmtBodySize, 1);
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
bool walkChunks(File& file, std::uint32_t fileSize, std::uint32_t position, std::uint8_t (&header)[chunkHeaderSize],
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
        const std::uint32_t delivered = file.Read(header, chunkHeaderSize, 1);
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

// Every check has passed: the record is written here and nowhere else.
void writeRecord(FileInfoRecord& info, const ChunkWalk& found) {
    const WaveFormat format = decodeFmtBody(found.fmtBody);
    // Sample rate 0, or a byte rate below it, or INT32_MIN / -1: frame size 0, frame count 0; the
    // file is described but gets no picture.
    const std::int32_t bytesPerFrame = bytesPerFrameOf(format.averageByteRate, format.sampleRate);
    char channels[channelTextSize];
    channelText(format.channelCount, channels);
    char description[descriptionSize];
    formatDescription(description, format.sampleRate, format.bitsPerSample, channels, codecName(format.formatTag));

    info.flags = fileInfoFlags;
    info.word8 = 0;
    info.word10 = 0;
    info.value12 = 0;
    info.value16 = 0;
    info.value20 = 0;
    info.privateArea.isPcm = isPcmFlag(format.formatTag);
    if (info.description != nullptr) {
        copyText(info.description, descriptionCopyCapacity(info.descriptionCapacity), description);
    }
    info.privateArea.channelCount = format.channelCount;
    info.privateArea.sampleRate = format.sampleRate;
    info.privateArea.frameCount = frameCountOf(found.dataLength, bytesPerFrame);
    info.privateArea.dataOffset = found.dataOffset;
    info.privateArea.bytesPerFrame = bytesPerFrame;
    info.privateArea.bitsPerSample = format.bitsPerSample;
}

} // namespace

bool scanWaveFile(File& file, FileInfoRecord* info, const char* name, void* abortEvent) {
    // No record: nowhere to report, so nothing to do.
    if (info == nullptr) {
        return false;
    }
    if (!file.Open(name)) {
        return false;
    }
    ScopedClose closer(file);
    const std::uint32_t fileSize = file.Size();

    // One buffer holds the RIFF header and then every chunk header (see walkChunks).
    std::uint8_t header[chunkHeaderSize] = {};
    // Where the walk believes it is: each read moves it by what it delivered, each skip sets it to
    // where the skip landed.
    std::uint32_t position = 0;
    if (!readRiffHeader(file, header, position)) {
        return false;
    }
    ChunkWalk found{};
    if (!walkChunks(file, fileSize, position, header, abortEvent, found)) {
        return false;
    }
    // No complete fmt body (no fmt chunk, only data chunks, or a fmt chunk cut short): the format
    // values are unset, and the file is not described.
    if (!found.fmtComplete) {
        return false;
    }
    file.Close();
    writeRecord(*info, found);
    return true;
}
