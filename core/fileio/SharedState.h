// Every process-wide mutable item of the file layer, with what guards it. The host builds
// thumbnails on several threads at once, so file objects are created, used and destroyed
// concurrently; one object is used by one thread at a time.
//
//  item               guard
//  fileObjectCount    atomic; changed only under the lifecycle guard (DiskFile.cpp), a statically
//                     initialised mutex that is never destroyed.
//  fileLock           created by the constructor that raises the count from 0 and destroyed by the
//                     destructor that lowers it to 0, both under the lifecycle guard; so the lock
//                     exists exactly while file objects exist, and a thread that holds an object
//                     can always take it. Recursive. It is held by every raw operation, by name
//                     resolution and mounting (File::Open), by the append probe, by a whole
//                     directory listing, and around every call into the mounted archive.
//  archiveState       atomic; written only under fileLock (resolution, the append probe, the
//  currentArchive     archive itself). Read under fileLock, except by RawSize, which looks without
//                     the lock and then takes it before it goes to the archive.
//  the mounted        PakArchive (core/fileio/PakArchive.h): its directory, current entry, entry
//  archive            stack, file position and inflate buffer are used only under fileLock; it is
//                     mounted and destroyed (file closed) only by File::Open, under fileLock, so no
//                     thread can read it while another frees it. File::Open also takes the size and
//                     any whole-file load in the same hold as the open.
//  entry tickets      lastEntryTicket (PakArchive.cpp) numbers entry opens; under fileLock. A file
//                     object keeps its ticket (archiveTicket) and reads only the entry it opened.
//  PathSettings       built once by a thread-safe one-time initialisation; its strings are read and
//                     replaced under the settings mutex (PathSettings.cpp), innermost of all locks.
//  lineEndMode        atomic.
//
// Outside the file layer, the module's other process-wide items:
//  initCount          atomic (plugin/EntryPoints.cpp); never below 0.
//  moduleHandle       atomic (plugin/Module.cpp); written by the library's entry routine.
//  the heap registry  atomic pointer (core/memory/HeapRegistry.cpp); built during static
//                     initialisation, forgotten at exit, swapped only by tests.
//  heap counters      relaxed atomics (PlatformHeap); the arena kinds count under their own lock.
//  dlmalloc's params  set by the first mspace ever created, which only a registry build does (during
//                     static initialisation, or in a test); read-only afterwards. Each mspace is
//                     used only under its heap's lock.
//  threads attached   plain flag (core/thread/Lock.cpp); set by the first Lock, built during static
//                     initialisation before any other thread can enter the module.
//  platform table     plain (core/Utils/Platform.cpp); entries are swapped only by tests, while no
//                     other thread is inside the system.
//  the logger         its own recursive lock (core/log/Logger.cpp), held by every public operation:
//                     settings, colour and line state, the debugger sink's buffer, the log file.
//                     Built during static initialisation right after the heap registry; its
//                     teardown at exit runs before the registry's and destroys the lock.
//
// Lock order, outermost first: the logger's lock, fileLock, the settings mutex, the lifecycle
// guard, the heap locks. So nothing may call the logger while it holds any of the others.
// The lifecycle guard is held only to count objects and to create or destroy fileLock; nothing
// waits for fileLock while holding it (a destructor closes its file before taking the guard).
#pragma once

#include <atomic>
#include <cstdint>

class Lock;
class PakArchive;

// The process-wide archive state.
enum class ArchiveState : std::uint32_t {
    ArchiveNone = 0,  // no archive is mounted; every raw operation works on the disk
    ArchiveReady = 1, // an archive is mounted and idle; read-side raw operations may go to it
    ArchiveBusy = 2,  // the archive is being mounted or works on its own file; raw operations go to the disk
};

extern std::atomic<ArchiveState> archiveState;
// The mounted archive, or null. At most one archive is mounted at a time.
extern std::atomic<PakArchive*> currentArchive;

// The lock shared by all DiskFile objects; null while no DiskFile exists.
extern std::atomic<Lock*> fileLock;
// The number of live DiskFile objects (PakArchive included).
extern std::atomic<std::uint32_t> fileObjectCount;

// Line ends written by File::WriteLine: 1 selects CR LF, every other value LF. LF (0) by default.
extern std::atomic<std::uint32_t> lineEndMode;
void setLineEndMode(std::uint32_t mode);
