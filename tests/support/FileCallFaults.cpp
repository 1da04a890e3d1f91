// The failing wrappers of the platform's file calls: one template serves every call, so that a call
// joins the sweeps with one line in the list below.
#include "support/FileCallFaults.h"

#include <windows.h>

#include <atomic>

#include "core/Utils/Platform.h"
#include "support/PlatformFailures.h"

namespace {

struct Faults {
    std::atomic<std::int64_t> counted{0};
    std::atomic<std::int64_t> failAt{-1};
    std::atomic<bool> onwards{false};
    std::atomic<std::uint32_t> mask{FileCallFaults::allCalls};
    std::atomic<std::int64_t> failures{0};
    std::atomic<std::int64_t> perCall[FileCallFaults::maxCalls] = {};

    // Counts one call of the given number and answers whether it fails.
    bool fails(std::size_t call) {
        ++perCall[call];
        if ((mask.load() >> call & 1u) == 0) {
            return false;
        }
        const std::int64_t n = counted++;
        const std::int64_t at = failAt.load();
        if (at < 0 || n < at || (n > at && !onwards.load())) {
            return false;
        }
        ++failures;
        return true;
    }
};

Faults faults;

// A failed ReadFile or WriteFile reports 0 bytes; the same for every count a failing call was given.
void clearCount(DWORD* count) {
    if (count != nullptr) {
        *count = 0;
    }
}
template <class Other>
void clearCount(Other) {}

// The wrapper of one table entry: fails as listed, or passes the call on to the entry it replaced.
template <auto entry, class Type = decltype(entry)>
struct Wrapped;

template <auto entry, class Result, class... Arguments>
struct Wrapped<entry, Result(WINAPI* PlatformCalls::*)(Arguments...)> {
    static inline Result(WINAPI* next)(Arguments...) = nullptr;
    static inline const PlatformFailure<Result>* failure = nullptr;
    static inline std::size_t number = 0;

    static Result WINAPI call(Arguments... arguments) {
        if (!faults.fails(number)) {
            return next(arguments...);
        }
        (clearCount(arguments), ...);
        return failure->fail();
    }
    static void install(std::size_t callNumber) {
        number = callNumber;
        next = platform().*entry;
        platform().*entry = call;
    }
    static void restore() { platform().*entry = next; }
};

struct Listed {
    const char* name;
    void (*install)(std::size_t);
    void (*restore)();
};

template <auto entry, class Result>
Listed listed(const char* name, const PlatformFailure<Result>& failure) {
    Wrapped<entry>::failure = &failure;
    return {name, Wrapped<entry>::install, Wrapped<entry>::restore};
}

// The swept calls, each failing as PlatformFailures.h says that call fails.
const Listed sweptCalls[] = {
    listed<&PlatformCalls::CreateFileA>("CreateFileA", platformFailures::createFile),
    listed<&PlatformCalls::CreateFileW>("CreateFileW", platformFailures::createFile),
    listed<&PlatformCalls::ReadFile>("ReadFile", platformFailures::readFile),
    listed<&PlatformCalls::SetFilePointer>("SetFilePointer", platformFailures::setFilePointer),
    listed<&PlatformCalls::GetFileSize>("GetFileSize", platformFailures::getFileSize),
    listed<&PlatformCalls::WriteFile>("WriteFile", platformFailures::writeFile),
};
constexpr std::size_t callTotal = sizeof sweptCalls / sizeof sweptCalls[0];
static_assert(callTotal <= FileCallFaults::maxCalls, "more calls than counts");

} // namespace

std::size_t FileCallFaults::callCount() { return callTotal; }

const char* FileCallFaults::callName(std::size_t call) { return call < callTotal ? sweptCalls[call].name : "?"; }

FileCallFaults::FileCallFaults() {
    faults.failAt = -1;
    faults.onwards = false;
    faults.mask = allCalls;
    faults.counted = 0;
    faults.failures = 0;
    for (auto& count : faults.perCall) {
        count = 0;
    }
    for (std::size_t i = 0; i < callTotal; ++i) {
        sweptCalls[i].install(i);
    }
}

FileCallFaults::~FileCallFaults() {
    for (std::size_t i = callTotal; i > 0; --i) {
        sweptCalls[i - 1].restore();
    }
}

void FileCallFaults::failAt(std::int64_t n, bool onwards, std::uint32_t mask) {
    faults.mask = mask;
    faults.onwards = onwards;
    faults.failAt = n;
}

std::int64_t FileCallFaults::calls() const { return faults.counted.load(); }

std::int64_t FileCallFaults::failures() const { return faults.failures.load(); }

std::int64_t FileCallFaults::callsOf(std::size_t call) const { return call < callTotal ? faults.perCall[call].load() : 0; }
