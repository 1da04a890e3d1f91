// Helpers of the wave tests: the scanner and the renderer called as the entry points call them, and
// spans of rows to compare picture columns with.
#pragma once

#include <cstdint>
#include <vector>

#include "plugin/HostRecords.h"
#include "support/FaultHeap.h"
#include "support/PlatformFakes.h"
#include "wave/WaveSampler.h"

namespace wavetest {

// The scanner and the renderer through the 8-bit entry points, with the host's records; the
// renderer draws for the screen.
bool scan(FileInfoRecord* info, const char* name, void* abortEvent);
void* render(const char* name, const FileInfoRecord* info, const ImageSizeRecord* size, void* abortEvent);

// Samples pictures with the given tuning for one scope, then with the one before.
class TuningScope {
public:
    explicit TuningScope(const SamplingTuning& tuning) : previous(samplingTuning()) { samplingTuning() = tuning; }
    ~TuningScope() { samplingTuning() = previous; }
    TuningScope(const TuningScope&) = delete;
    TuningScope& operator=(const TuningScope&) = delete;

private:
    SamplingTuning previous;
};

// A pixel-exact span of rows from..to.
std::vector<std::int32_t> span(std::int32_t from, std::int32_t to);

} // namespace wavetest
