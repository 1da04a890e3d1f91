// The wave tests' calls of the scanner and renderer.
#include "WaveTestSupport.h"

#include "plugin/EntryPoints.h"

namespace wavetest {

bool scan(FileInfoRecord* info, const char* name, void* abortEvent) {
    return DVP_IdentifyFileA(nullptr, const_cast<char*>(name), info, abortEvent) == TRUE;
}

void* render(const char* name, const FileInfoRecord* info, const ImageSizeRecord* size, void* abortEvent) {
    return DVP_LoadBitmapA(nullptr, const_cast<char*>(name), const_cast<FileInfoRecord*>(info),
                           const_cast<ImageSizeRecord*>(size), abortEvent);
}

std::vector<std::int32_t> span(std::int32_t from, std::int32_t to) {
    std::vector<std::int32_t> rows;
    for (std::int32_t r = from; r <= to; ++r) {
        rows.push_back(r);
    }
    return rows;
}

} // namespace wavetest
