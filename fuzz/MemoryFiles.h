// Files served from memory through the platform table, for the fuzz targets: the file calls of
// the disk backend read the fuzzer's bytes directly, so an input costs no system call and the
// backend, the file object and everything above them run exactly as they do on a disk file.
// Single-threaded, as libFuzzer runs its targets.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzzfiles {

// Installs the memory calls in the platform table (once; later calls do nothing).
void install();
// Forgets every file. Fails the run (abort) when a handle is still open: every call must close
// what it opened, on every path.
void reset();
// Adds a read-only file; the bytes are not copied and must outlive the input. At most 8 files.
void add(const char* name, const std::uint8_t* data, std::size_t size);
// Handles open now.
std::uint32_t openHandles();

} // namespace fuzzfiles
