// The chunk walk of a RIFF WAVE file and the record it fills.
#include "wave/WaveScanner.h"

#include <cstdint>

#include "core/fileio/File.h"
#include "core/fileio/ScopedClose.h"
#include "wave/LittleEndian.h"
#include "wave/WaveFormat.h"
#include "wave/WaveHostCalls.h"

namespace {

constexpr std::uint32_t fileInfoFlags = 0x00000805u;
constexpr std::uint32_t chunkHeaderSize = 8;

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

// Writes the description, cut to the host's capacity when it gives one (0: not given, the whole text,
// which is at most descriptionSize bytes with its terminator).
void copyDescription(char* destination, std::uint32_t capacity, const char (&text)[descriptionSize]) {
    std::uint32_t limit = descriptionSize - 1;
    if (capacity != 0 && capacity - 1 < limit) {
        limit = capacity - 1;
    }
    std::uint32_t i = 0;
    for (; i < limit && text[i] != '\0'; ++i) {
        destination[i] = text[i];
    }
    destination[i] = '\0';
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

    // One buffer holds the RIFF header and then every chunk header. It is deliberately not cleared
    // between reads: a header read cut short by the end of the file fills only its front, and the
    // walk goes on with the rest of the previous header (a trailing pad byte is crossed this way).
    std::uint8_t header[chunkHeaderSize] = {};
    std::uint8_t formType[4] = {};
    std::uint8_t fmtBody[fmtBodySize] = {};
    // The walk's idea of the file position: advanced by the bytes each read delivers, replaced by
    // the position each skip reports.
    std::uint32_t position = 0;

    // A file shorter than the 12-byte header leaves zeros in the buffers and fails the comparisons.
    position += file.Read(header, chunkHeaderSize, 1);
    if (!le::isFourCc(header, "RIFF")) {
        return false;
    }
    position += file.Read(formType, sizeof formType, 1);
    if (!le::isFourCc(formType, "WAVE")) {
        return false;
    }

    // +1 per fmt chunk, +16 per data chunk: meeting the end of the file in a chunk header is fine
    // only once a fmt and a data chunk (17) have been seen. 64 bits, so that a flood of empty
    // chunks in a huge file cannot wrap it.
    std::uint64_t tally = 0;
    std::uint32_t dataOffset = 0;
    std::uint32_t dataLength = 0;
    // Whether the fmt body holds 16 bytes of one fmt chunk. A fmt read cut short by the end of the
    // file leaves a body mixed from two chunks (or unset values): such a file is refused.
    bool fmtComplete = false;

    // Every pass moves the position forward or ends the walk, so the walk ends within fileSize
    // passes. A pass that does not move (a header read failing on an I/O error, with a stale header
    // of size 0) would repeat for ever: it ends the scan as a failure.
    while (position < fileSize) {
        if (abortSignalled(abortEvent)) {
            return false;
        }
        const std::uint32_t passStart = position;
        position += file.Read(header, chunkHeaderSize, 1);
        if (file.AtEnd() && tally <= 16) {
            return false;
        }
        const std::uint32_t chunkSize = le::readU32(header + 4);
        bool walkGoesOn = true;
        if (le::isFourCc(header, "fmt ")) {
            // 16 bytes are read even from a shorter fmt chunk; no buffer is sized from the chunk.
            const std::uint32_t delivered = file.Read(fmtBody, fmtBodySize, 1);
            position += delivered;
            if (delivered == fmtBodySize) {
                fmtComplete = true;
            } else if (delivered > 0) {
                fmtComplete = false;
            }
            tally += 1;
            // The fmt size is read as signed: a size of 16 or less (negative ones included) has
            // nothing left to skip.
            if (le::readI32(header + 4) > static_cast<std::int32_t>(fmtBodySize)) {
                walkGoesOn = skipBody(file, position, chunkSize - fmtBodySize, fileSize);
            }
        } else if (le::isFourCc(header, "data")) {
            dataOffset = position;
            dataLength = chunkSize;
            tally += 16;
            walkGoesOn = skipBody(file, position, chunkSize, fileSize);
        } else {
            // No pad byte after an odd-sized chunk: the walk moves exactly by the size field.
            walkGoesOn = skipBody(file, position, chunkSize, fileSize);
        }
        if (!walkGoesOn) {
            break;
        }
        if (position <= passStart) {
            return false;
        }
    }

    // No complete fmt body (no fmt chunk, only data chunks, or a fmt chunk cut short): the format
    // values are unset, and the file is not described.
    if (!fmtComplete) {
        return false;
    }
    const WaveFormat format = decodeFmtBody(fmtBody);
    // Sample rate 0, or a byte rate below it, or INT32_MIN / -1: frame size 0, frame count 0; the
    // file is described but gets no picture.
    const std::int32_t bytesPerFrame = bytesPerFrameOf(format.averageByteRate, format.sampleRate);
    const std::uint32_t frameCount = frameCountOf(dataLength, bytesPerFrame);
    file.Close();

    char channels[channelTextSize];
    channelText(format.channelCount, channels);
    char description[descriptionSize];
    formatDescription(description, format.sampleRate, format.bitsPerSample, channels, codecName(format.formatTag));

    // Every check has passed: the record is written here and nowhere else.
    info->flags = fileInfoFlags;
    info->word8 = 0;
    info->word10 = 0;
    info->value12 = 0;
    info->value16 = 0;
    info->value20 = 0;
    info->privateArea.isPcm = isPcmFlag(format.formatTag);
    if (info->description != nullptr) {
        copyDescription(info->description, info->descriptionCapacity, description);
    }
    info->privateArea.channelCount = format.channelCount;
    info->privateArea.sampleRate = format.sampleRate;
    info->privateArea.frameCount = frameCount;
    info->privateArea.dataOffset = dataOffset;
    info->privateArea.bytesPerFrame = bytesPerFrame;
    info->privateArea.bitsPerSample = format.bitsPerSample;
    return true;
}
