// The wave tests' calls of the scanner and renderer.
#include "WaveTestSupport.h"

#include "core/fileio/DiskFile.h"
#include "wave/WaveRenderer.h"
#include "wave/WaveScanner.h"

namespace wavetest {

bool scan(FileInfoRecord* info, const char* name, void* abortEvent) {
    DiskFile file(false);
    return scanWaveFile(file, info, name, abortEvent);
}

void* render(const char* name, const FileInfoRecord* info, const ImageSizeRecord* size, void* abortEvent) {
    DiskFile file(false);
    return renderWaveform(file, nullptr, name, info, size, abortEvent);
}

std::vector<std::int32_t> span(std::int32_t from, std::int32_t to) {
    std::vector<std::int32_t> rows;
    for (std::int32_t r = from; r <= to; ++r) {
        rows.push_back(r);
    }
    return rows;
}

} // namespace wavetest
