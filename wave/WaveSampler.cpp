// The sampling roads: frame by frame, spans of nearby frames, and (FrameReaders.cpp) readers in
// flight. Every road keeps SampleRun exactly as the frame-by-frame loop would.
#include "wave/WaveSampler.h"

#include <chrono>
#include <cstring>

#include "core/fileio/File.h"
#include "core/memory/HeapPointer.h"
#include "wave/SampleRun.h"
#include "wave/WaveHostCalls.h"

namespace {

SamplingTuning tuning = defaultSamplingTuning;

// A picture on slow storage that found every reader taken asks again after this many samples.
constexpr std::uint32_t readerRetrySamples = 32;

void advance(SampleRun& run) {
    const SamplingJob& job = *run.job;
    run.samples[run.next] = convertSample(run.frame, job.values.bitsPerSample);
    // Rounded to single precision after every step: this picks the frames.
    run.position = run.position + run.step;
    run.target = frameSeekTarget(run.position, job.values.bytesPerFrame, job.values.dataOffset);
    ++run.next;
}

// Whether the frame-by-frame loop would take sample next.
bool goesOn(const SampleRun& run) {
    return !run.ended && run.next < run.job->sampleCount && !run.job->file->AtEnd() && run.job->file->IsOk();
}

// One pass of the frame-by-frame loop: the start of the frame where the file stands, its sample,
// the seek to the next one (its result is not used: the end flag and the error it leaves end the
// loop), the abort poll.
void serialPass(SampleRun& run) {
    File& file = *run.job->file;
    file.Read(run.frame, 1, run.job->readBytes);
    advance(run);
    file.Seek(run.target);
    run.ended = abortSignalled(run.job->abortEvent);
}

// The same pass timed in microseconds (its read, mostly), while the storage is being judged.
std::uint64_t timedPass(SampleRun& run) {
    const auto start = std::chrono::steady_clock::now();
    serialPass(run);
    const auto took = std::chrono::steady_clock::now() - start;
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(took).count());
}

// How many samples from next on one span serves, and the span's length: each frame wholly inside
// the file, each target at or after the one before and at most gap beyond it, the whole within
// bound bytes. The sample whose successor lies at or past the end is the span's last (the
// sampling ends there). Terminates: every pass takes one more sample, of at most sampleCount.
std::uint32_t samplesInSpan(const SampleRun& run, std::uint32_t gap, std::uint32_t bound, std::uint32_t& length) {
    const SamplingJob& job = *run.job;
    const std::uint64_t first = run.target;
    float position = run.position;
    std::uint64_t target = run.target;
    std::uint32_t count = 0;
    while (run.next + count < job.sampleCount) {
        const std::uint64_t end = target + job.readBytes;
        if (end > run.fileSize || end - first > bound) {
            break;
        }
        ++count;
        length = static_cast<std::uint32_t>(end - first);
        position = position + run.step;
        const std::uint64_t following = frameSeekTarget(position, job.values.bytesPerFrame, job.values.dataOffset);
        // Backwards (a wrapped target), far ahead, or at the end: the span stops after this one.
        if (following < target || following - target > gap || following >= run.fileSize) {
            break;
        }
        target = following;
    }
    return count;
}

// The span from target on, read in one call and sampled from memory. False when spans do not serve
// (a single frame, no memory, or the read delivered less than asked): the file then stands at
// target again, for the frame-by-frame loop to read.
bool sampleSpan(SampleRun& run, const SamplingTuning& settings, HeapPointer<std::uint8_t>& buffer) {
    File& file = *run.job->file;
    // The bound, or the whole file when that is less: no span can be longer, wherever it starts.
    const std::uint32_t capacity = run.fileSize < settings.spanBytes ? run.fileSize : settings.spanBytes;
    std::uint32_t length = 0;
    const std::uint32_t count = samplesInSpan(run, settings.spanGap, capacity, length);
    if (count < 2) {
        return false;
    }
    if (buffer == nullptr) {
        buffer = allocateHeapBlock<std::uint8_t>(capacity, 16, HeapCategory::GlobalNew);
        if (buffer == nullptr) {
            return false;
        }
    }
    const std::uint32_t first = run.target;
    if (file.Read(buffer.get(), length) != length) {
        // The span's read is not one the frame-by-frame loop makes, so its failure is not the
        // sampling's: the loop reads this frame again and meets whatever made it fail.
        file.lastError = FileError::None;
        file.Seek(first);
        return false;
    }
    for (std::uint32_t i = 0; i < count && !run.ended; ++i) {
        takeSampleFromMemory(run, buffer.get() + (run.target - first));
    }
    if (!run.ended) {
        file.Seek(run.target);
    }
    return true;
}

} // namespace

SamplingTuning& samplingTuning() { return tuning; }

void takeSampleFromMemory(SampleRun& run, const std::uint8_t* bytes) {
    std::memcpy(run.frame, bytes, run.job->readBytes);
    advance(run);
    // The seek after the sample would raise the end flag, which ends the loop; the abort poll
    // comes first all the same.
    const bool atEnd = run.target >= run.fileSize;
    const bool aborted = abortSignalled(run.job->abortEvent);
    run.ended = atEnd || aborted;
}

void sampleFrames(const SamplingJob& job, const SamplingTuning& settings, float* samples) {
    SampleRun run{};
    run.job = &job;
    run.samples = samples;
    run.step = samplingStep(job.values.frameCount, job.width);
    run.position = 0.0f;
    run.target = job.values.dataOffset;
    run.fileSize = job.file->Size();

    HeapPointer<std::uint8_t> span;
    bool spans = settings.spanGap > 0 && settings.spanBytes > 0;
    bool judged = settings.readersPerPicture == 0 || job.moreFiles == nullptr;
    std::uint32_t timedReads = 0;
    std::uint64_t timedMicros = 0;
    // Slow storage, and the samples to read on the calling thread before readers are asked for
    // again (all were taken by other pictures when they were last asked for).
    bool slow = false;
    std::uint32_t readersIn = 0;
    // Every pass takes at least one sample, or leaves a road for good (spans, a flight of readers),
    // or fails to get readers and then takes readerRetrySamples samples before it asks again; so
    // the loop ends within about twice sampleCount passes.
    while (goesOn(run)) {
        if (spans) {
            if (sampleSpan(run, settings, span)) {
                continue;
            }
            spans = false;
            span.reset();
            continue;
        }
        if (!judged && timedReads < settings.probeReads) {
            timedMicros += timedPass(run);
            ++timedReads;
            continue;
        }
        if (!judged) {
            judged = true;
            slow = timedMicros >= std::uint64_t{settings.slowReadMicros} * timedReads;
        }
        if (slow && readersIn == 0) {
            // A flight ends where readers cannot go on (the end of the file, a failure): the rest
            // is read here.
            slow = !sampleInFlight(run, settings.readersPerPicture);
            readersIn = readerRetrySamples;
            continue;
        }
        serialPass(run);
        readersIn = readersIn > 0 ? readersIn - 1 : 0;
    }
}
