// Sampling a wave file's data chunk and drawing the picture.
#include "wave/WaveRenderer.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "core/fileio/File.h"
#include "core/fileio/ScopedClose.h"
#include "core/memory/HeapPointer.h"
#include "wave/PictureDrawing.h"
#include "wave/WaveSampler.h"

bool valuesDrawable(const WaveValues& area) {
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

bool planRender(const WaveValues& area, PictureSize requested, RenderPlan& plan) {
    plan.picture = pictureSizeFor(requested);
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

} // namespace

bool renderWaveform(File& file, FileMaker* moreFiles, const char* name, const WaveValues& values,
                    PictureSize requested, void* abortEvent, WavePicture& picture) {
    if (!valuesDrawable(values)) {
        return false;
    }
    RenderPlan plan{};
    if (!planRender(values, requested, plan)) {
        return false;
    }

    if (!file.Open(name)) {
        return false;
    }
    ScopedClose closer(file);
    if (!file.Seek(values.dataOffset) || file.AtEnd()) {
        return false;
    }

    HeapPointer<float> samples = allocateHeapBlock<float>(plan.sampleBytes, 16, HeapCategory::GlobalNew);
    if (samples == nullptr) {
        return false;
    }
    // Samples not read (an early end) draw as the centre line.
    std::fill_n(samples.get(), plan.sampleCount, 0.0f);
    const SamplingJob job{&file, moreFiles, name, values, plan.readBytes, plan.sampleCount, plan.picture.width, abortEvent};
    sampleFrames(job, samplingTuning(), samples.get());
    file.Close();

    HeapPointer<std::uint32_t> pixels =
        allocateHeapBlock<std::uint32_t>(plan.pictureBytes, 16, HeapCategory::GlobalNew);
    if (pixels == nullptr) {
        return false;
    }
    drawWaveform(pixels.get(), plan.picture.width, plan.picture.height, samples.get());
    picture.pixels = std::move(pixels);
    picture.size = plan.picture;
    return true;
}
