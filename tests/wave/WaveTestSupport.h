// Helpers of the wave tests: the scanner and the renderer called as the entry points call them, and
// spans of rows to compare picture columns with.
#pragma once

#include <cstdint>
#include <vector>

#include "plugin/HostRecords.h"
#include "support/FaultHeap.h"
#include "support/PlatformFakes.h"

namespace wavetest {

// The scanner and the renderer on a file object made for the call, as the entry points call them
// (a disk file that takes the path prefix); the renderer draws for the screen.
bool scan(FileInfoRecord* info, const char* name, void* abortEvent);
void* render(const char* name, const FileInfoRecord* info, const ImageSizeRecord* size, void* abortEvent);

// A pixel-exact span of rows from..to.
std::vector<std::int32_t> span(std::int32_t from, std::int32_t to);

} // namespace wavetest
