// Helpers of the wave tests: the platform table swapped for recording fakes (the bitmap the renderer
// hands over, the seeks, the polls of the abort event, injected read failures), and a heap registry
// whose every category goes to one heap that can be told to fail.
#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <vector>

#include "plugin/HostRecords.h"
#include "support/FaultHeap.h"

namespace wavetest {

// The scanner and the renderer on a file object made for the call, as the entry points call them
// (a disk file that takes the path prefix); the renderer draws for the screen.
bool scan(FileInfoRecord* info, const char* name, void* abortEvent);
void* render(const char* name, const FileInfoRecord* info, const ImageSizeRecord* size, void* abortEvent);

// What the fakes saw since the last PlatformFakes was made.
struct PlatformLog {
    std::int32_t createFileCalls = 0;
    std::int32_t readFileCalls = 0;
    // Off: the fakes only count (nothing that allocates), for allocation-failure sweeps.
    bool recordContent = true;
    std::int32_t readFileFailFrom = -1; // ReadFile calls from this one (0-based) on fail; -1: none
    std::vector<std::uint32_t> seekTargets; // SetFilePointer's absolute targets
    std::int32_t waitCalls = 0;
    std::int32_t signalAtWait = -1; // this poll (0-based) and later ones report the event signalled
    std::int32_t getDcCalls = 0;
    std::int32_t releaseDcCalls = 0;
    bool noDeviceContext = false;
    bool bitmapFails = false;
    // The picture passed to CreateDIBitmap.
    std::int32_t bitmapCalls = 0;
    BITMAPINFOHEADER header{};
    std::vector<std::uint32_t> pixels;
};

// Swaps the file, wait and bitmap entries for recording fakes that call the real functions where
// there is one; the fake bitmap is a non-null dummy handle that must not be used. Restores the real
// table at destruction.
class PlatformFakes {
public:
    PlatformFakes();
    ~PlatformFakes();
    PlatformFakes(const PlatformFakes&) = delete;
    PlatformFakes& operator=(const PlatformFakes&) = delete;

    PlatformLog& log();
    // The pixel at (row from the bottom, column) of the captured picture.
    std::uint32_t pixel(std::int32_t row, std::int32_t x) const;
    // Rows of column x holding colour, from the bottom.
    std::vector<std::int32_t> rows(std::int32_t x, std::uint32_t colour) const;
};

// A pixel-exact span of rows from..to.
std::vector<std::int32_t> span(std::int32_t from, std::int32_t to);

} // namespace wavetest
