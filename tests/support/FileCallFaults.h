// Failures of the platform's file calls for sweeps through the whole system: one count runs over
// the calls in FileCallFaults.cpp's list, and the chosen one of them fails (once, or with every
// later one) as the platform fails it: its failure value, its code for GetLastError, and a count it
// was given for bytes read or written set to 0. Made, it wraps the table's current entries (the
// real functions, or PlatformFakes' when those are installed); destroyed, it puts them back. One
// at a time, while no other thread is inside the system.
#pragma once

#include <cstddef>
#include <cstdint>

class FileCallFaults {
public:
    // Every call of the list counts.
    static constexpr std::uint32_t allCalls = 0xFFFFFFFFu;
    // Room for this many calls in the list.
    static constexpr std::size_t maxCalls = 8;
    // The calls of the list, and the name of each (its bit in a mask is 1 << its number).
    static std::size_t callCount();
    static const char* callName(std::size_t call);

    FileCallFaults();
    ~FileCallFaults();
    FileCallFaults(const FileCallFaults&) = delete;
    FileCallFaults& operator=(const FileCallFaults&) = delete;

    // Fails the n-th (0-based) call among those in mask, and with onwards every later one of them
    // too; -1 for none.
    void failAt(std::int64_t n, bool onwards, std::uint32_t mask = allCalls);
    // Calls counted under the mask since this object was made, and how many of them failed.
    std::int64_t calls() const;
    std::int64_t failures() const;
    // Calls of one kind since this object was made, under any mask.
    std::int64_t callsOf(std::size_t call) const;
};
