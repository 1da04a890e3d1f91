// Sampling a wave file's data chunk and drawing the picture.
#include "wave/WaveRenderer.h"

#include <cstdint>

#include "core/fileio/File.h"
#include "core/fileio/ScopedClose.h"
#include "core/memory/HeapRegistry.h"
#include "wave/HostBitmap.h"
#include "wave/WaveHostCalls.h"
#include "wave/Waveform.h"

namespace {

// A block from the heap registry, released when the scope ends unless handed on.
class HeapBlock {
public:
    explicit HeapBlock(std::uint32_t bytes) : pointer(heapAllocate(bytes, 16, HeapCategory::GlobalNew)) {}
    ~HeapBlock() { heapRelease(pointer); }
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;

    void* get() const { return pointer; }
    void* release() {
        void* handed = pointer;
        pointer = nullptr;
        return handed;
    }
    void free() {
        heapRelease(pointer);
        pointer = nullptr;
    }

private:
    void* pointer;
};

} // namespace

bool privateAreaDrawable(const WavePrivateArea& area) {
    // The host hands the area back: it is input like any file byte. A file identified as not PCM,
    // without data, or with a frame size of 0 has a zero here and gets no picture.
    if (area.isPcm == 0 || area.channelCount == 0 || area.sampleRate == 0 || area.frameCount == 0 ||
        area.dataOffset == 0 || area.bytesPerFrame == 0 || area.bitsPerSample == 0) {
        return false;
    }
    // A negative frame size: each read would ask for nearly 4 GiB into a buffer of a few bytes.
    return area.bytesPerFrame > 0;
}

void* renderWaveform(File& file, void* window, const char* name, const FileInfoRecord* info,
                     const ImageSizeRecord* size, void* abortEvent) {
    if (info == nullptr || !privateAreaDrawable(info->privateArea)) {
        return nullptr;
    }
    const WavePrivateArea area = info->privateArea;
    const PictureSize picture = pictureSizeFor(size);
    std::uint32_t pictureBytes = 0;
    // A host size whose pixels do not fit in 32 bits: no picture, and no wrapped, small buffer.
    if (!pictureByteCount(picture, pictureBytes)) {
        return nullptr;
    }
    // Two samples per column; the picture's own bound (width x height x 4 below 4 GiB, height at
    // least 2) keeps this below 4 GiB too.
    const std::uint32_t sampleCount = 2u * static_cast<std::uint32_t>(picture.width);
    const std::uint64_t sampleBytes = std::uint64_t{sampleCount} * sizeof(float);
    // The conversion touches bytes 0 to 3 whatever the frame size, and the 24-bit sign goes one
    // past a 3-byte frame: a damaged fmt chunk with a frame smaller than its sample stays inside.
    const std::uint32_t frameBytes = static_cast<std::uint32_t>(area.bytesPerFrame);
    const std::uint64_t frameBufferBytes =
        std::uint64_t{frameBytes > sampleBytesTouched ? frameBytes : sampleBytesTouched} + 1;
    if (sampleBytes > 0xFFFFFFFFu || frameBufferBytes > 0xFFFFFFFFu) {
        return nullptr;
    }

    if (!file.Open(name)) {
        return nullptr;
    }
    ScopedClose closer(file);
    if (!file.Seek(area.dataOffset) || file.AtEnd()) {
        return nullptr;
    }

    HeapBlock sampleBlock(static_cast<std::uint32_t>(sampleBytes));
    float* samples = static_cast<float*>(sampleBlock.get());
    if (samples == nullptr) {
        return nullptr;
    }
    for (std::uint32_t i = 0; i < sampleCount; ++i) {
        samples[i] = 0.0f;
    }
    const float step = samplingStep(area.frameCount, picture.width);
    float position = 0.0f;
    HeapBlock frameBlock(static_cast<std::uint32_t>(frameBufferBytes));
    std::uint8_t* frame = static_cast<std::uint8_t*>(frameBlock.get());
    if (frame == nullptr) {
        return nullptr;
    }
    // Zeroed, so that bytes the frame does not cover read as 0 rather than stale memory.
    for (std::uint64_t i = 0; i < frameBufferBytes; ++i) {
        frame[i] = 0;
    }

    // At most 2 x width passes; the end of the file, a failed read or seek, or the abort event end
    // it sooner. The samples not reached stay 0.0.
    for (std::uint32_t i = 0; i < sampleCount && !file.AtEnd() && file.IsOk(); ++i) {
        file.Read(frame, 1, frameBytes);
        samples[i] = convertSample(frame, area.bitsPerSample);
        // Rounded to single precision after every step: this picks the frames.
        position = position + step;
        file.Seek(frameSeekTarget(position, area.bytesPerFrame, area.dataOffset));
        if (abortSignalled(abortEvent)) {
            break;
        }
    }
    frameBlock.free();

    HeapBlock pixelBlock(pictureBytes);
    std::uint32_t* pixels = static_cast<std::uint32_t*>(pixelBlock.get());
    if (pixels == nullptr) {
        return nullptr;
    }
    drawWaveform(pixels, picture.width, picture.height, samples);
    sampleBlock.free();
    return createHostBitmap(window, static_cast<std::uint32_t*>(pixelBlock.release()), picture.width,
                            picture.height);
}
