// Sampling a wave file's data chunk and drawing the picture.
#include "wave/WaveRenderer.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "core/fileio/File.h"
#include "core/fileio/ScopedClose.h"
#include "core/memory/HeapPointer.h"
#include "wave/HostBitmap.h"
#include "wave/WaveHostCalls.h"
#include "wave/Waveform.h"

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

namespace {

// The sizes of one picture, worked out from the host's size and the private area before the file
// is opened.
struct RenderPlan {
    PictureSize picture;
    std::uint32_t pictureBytes;
    // Two samples per column.
    std::uint32_t sampleCount;
    std::uint32_t sampleBytes;
    // Bytes read per sample: the start of a frame, as much of it as the conversion touches.
    std::uint32_t readBytes;
};

bool planRender(const WavePrivateArea& area, const ImageSizeRecord* size, RenderPlan& plan) {
    plan.picture = pictureSizeFor(size);
    // A host size whose pixels do not fit in 32 bits: no picture, and no wrapped, small buffer.
    if (!pictureByteCount(plan.picture, plan.pictureBytes)) {
        return false;
    }
    // The picture's own bound (width x height x 4 below 4 GiB, height at least 2) keeps the
    // samples' bytes below 4 GiB too.
    plan.sampleCount = 2u * static_cast<std::uint32_t>(plan.picture.width);
    const std::uint64_t sampleBytes = std::uint64_t{plan.sampleCount} * sizeof(float);
    if (sampleBytes > 0xFFFFFFFFu) {
        return false;
    }
    plan.sampleBytes = static_cast<std::uint32_t>(sampleBytes);
    // Only the first sample of a frame is drawn, and the conversion touches bytes 0 to 3 (the
    // 24-bit sign one past a 3-byte frame), so no more is read: a frame of a gigabyte from a
    // forged byte rate costs four bytes per sample, not a gigabyte buffer cleared and read per
    // sample. The seek after every read sets the position and the end flag, so the walk over the
    // frames is the one whole-frame reads would make.
    const std::uint32_t frameBytes = static_cast<std::uint32_t>(area.bytesPerFrame);
    plan.readBytes = std::min(frameBytes, sampleBytesTouched);
    return true;
}

// Reads the samples from the opened file, positioned at the data: the start of one frame per
// sample, then a seek to the next sample's frame. At most sampleCount passes; the end of the file,
// a failed read or seek, or the abort event end it sooner, and the samples not reached stay as they
// are.
void sampleFrames(File& file, const WavePrivateArea& area, const RenderPlan& plan, float* samples, void* abortEvent) {
    const float step = samplingStep(area.frameCount, plan.picture.width);
    float position = 0.0f;
    // Zeroed, so that bytes a short frame does not cover read as 0 rather than stale memory.
    std::uint8_t frame[sampleBytesTouched + 1] = {};
    for (std::uint32_t i = 0; i < plan.sampleCount && !file.AtEnd() && file.IsOk(); ++i) {
        file.Read(frame, 1, plan.readBytes);
        samples[i] = convertSample(frame, area.bitsPerSample);
        // Rounded to single precision after every step: this picks the frames.
        position = position + step;
        file.Seek(frameSeekTarget(position, area.bytesPerFrame, area.dataOffset));
        if (abortSignalled(abortEvent)) {
            break;
        }
    }
}

} // namespace

void* renderWaveform(File& file, void* window, const char* name, const FileInfoRecord* info,
                     const ImageSizeRecord* size, void* abortEvent) {
    if (info == nullptr || !privateAreaDrawable(info->privateArea)) {
        return nullptr;
    }
    const WavePrivateArea area = info->privateArea;
    RenderPlan plan{};
    if (!planRender(area, size, plan)) {
        return nullptr;
    }

    if (!file.Open(name)) {
        return nullptr;
    }
    ScopedClose closer(file);
    if (!file.Seek(area.dataOffset) || file.AtEnd()) {
        return nullptr;
    }

    HeapPointer<float> samples = allocateHeapBlock<float>(plan.sampleBytes, 16, HeapCategory::GlobalNew);
    if (samples == nullptr) {
        return nullptr;
    }
    // Samples not read (an early end) draw as the centre line.
    std::fill_n(samples.get(), plan.sampleCount, 0.0f);
    sampleFrames(file, area, plan, samples.get(), abortEvent);

    HeapPointer<std::uint32_t> pixels =
        allocateHeapBlock<std::uint32_t>(plan.pictureBytes, 16, HeapCategory::GlobalNew);
    if (pixels == nullptr) {
        return nullptr;
    }
    drawWaveform(pixels.get(), plan.picture.width, plan.picture.height, samples.get());
    samples.reset();
    return createHostBitmap(window, std::move(pixels), plan.picture.width, plan.picture.height);
}
