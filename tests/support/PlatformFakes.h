// The one fake of the platform table, for the tests and the benchmark: it counts the calls the
// system makes, records the seeks, the abort polls and the picture handed to the bitmap step, and
// injects failures (failed or short reads and writes, failed seeks and size queries, a signalled
// abort event, no device context, no bitmap, a chosen executable path). Every entry it does not
// fail calls the real function. It is a scope guard: made, it installs itself; destroyed, it puts
// the real table back, however the test ends.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

// What the fakes saw since the last PlatformFakes was made, and the failures they inject.
struct PlatformLog {
    // Off: the fakes only count (nothing that allocates), for allocation-failure sweeps and timing.
    bool recordContent = true;
    // Off: GetDC, ReleaseDC and CreateDIBitmap are the real ones (still counted).
    bool captureBitmaps = true;

    std::int32_t createFileCalls = 0;
    std::int32_t readFileCalls = 0;
    std::int32_t setFilePointerCalls = 0;
    std::int32_t getFileSizeCalls = 0;
    std::int32_t closeHandleCalls = 0;
    std::int32_t openHandles = 0;         // handles CreateFileA or CreateFileW gave and CloseHandle has not taken back
    // Every failure below fails as PlatformFailures.h says the call fails.
    std::int32_t readFileFailFrom = -1;   // ReadFile calls from this one (0-based) on fail; -1: none
    std::int32_t readLimit = -1;          // ReadFile delivers at most this many bytes; -1: no limit
    bool seekFails = false;               // SetFilePointer fails
    bool sizeFails = false;               // GetFileSize fails
    bool writeFails = false;              // WriteFile fails, writing nothing
    std::int32_t writeFileCalls = 0;
    std::int32_t writeFailAt = -1;        // this WriteFile call (0-based) alone fails; -1: none
    std::int32_t findNextCalls = 0;
    std::int32_t findNextFailsFrom = -1;  // FindNextFileA calls from this one (0-based) on fail; -1: none
    bool shortWrites = false;             // WriteFile writes one byte less than asked (at least 1)
    const char* modulePath = nullptr;     // GetModuleFileNameA's answer, cut like older systems'; null: real
    std::vector<std::uint32_t> seekTargets; // SetFilePointer's absolute targets

    std::int32_t waitCalls = 0;
    std::int32_t signalAtWait = -1; // this poll (0-based) and later ones report the event signalled

    std::int32_t getDcCalls = 0;
    std::int32_t releaseDcCalls = 0;
    bool noDeviceContext = false;
    bool bitmapFails = false;
    // The picture passed to CreateDIBitmap; the fake bitmap is a dummy handle that must not be used.
    std::int32_t bitmapCalls = 0;
    BITMAPINFOHEADER header{};
    std::vector<std::uint32_t> pixels;

    std::int32_t fileCalls() const {
        return createFileCalls + readFileCalls + setFilePointerCalls + getFileSizeCalls + closeHandleCalls;
    }
};

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
