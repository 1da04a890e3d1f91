// Every process-wide mutable item of the file layer, with what guards it. The host builds
// thumbnails on several threads at once, so file objects are created, used and destroyed
// concurrently; one object is used by one thread at a time.
//
//  item               guard
//  fileObjectCount    atomic; changed only under the lifecycle guard (SharedState.cpp), a
//                     statically initialised mutex that is never destroyed.
//  fileLock           created when the count rises from 0 and destroyed when it falls to 0, both
//                     under the lifecycle guard; so the lock exists exactly while file objects
//                     exist, and a thread that holds an object can always take it. Recursive. It
//                     guards name resolution and mounting (File::Open, Exists) and nothing else:
//                     what a name resolved into carries its own archive reference, so the open
//                     itself, and every read, seek and size query after it, runs without it. A
//                     loose file's handle belongs to its object alone and needs no lock.
//  currentArchive     the archive new opens resolve into. Read and replaced only under fileLock
//                     (name resolution, MountArchive, UnmountArchive); atomic so that a test may
//                     look at it without the lock.
//  each archive       PakArchive (core/fileio/PakArchive.h): its directory is read-only once
//                     mounted; its one file handle, file position and inflate buffer are used
//                     under its own lock (access), which nothing else is held across; its
//                     reference count is atomic. It lives while it is mounted or any file object
//                     still holds an entry of it, so an object's reads never depend on what the
//                     mount is by then.
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
//  picture readers    atomic count (wave/FrameReaders.cpp) of the readers pictures have taken from
//                     the process's budget; a picture gives back what it took once it has joined
//                     them. Its readers meet it under a mutex of the picture's own, held around
//                     the hand-out of frames only, never across a file call.
//  sampling tuning    plain (wave/WaveSampler.cpp); changed only by tests and the benchmark, while
//                     no picture is being drawn.
//
// Lock order, outermost first: the logger's lock, fileLock, an archive's lock, the settings
// mutex, the lifecycle guard, the heap locks. So nothing may call the logger while it holds any of the others.
// The lifecycle guard is held only to count objects and to create or destroy fileLock; nothing
// waits for fileLock while holding it (a destructor closes its file before taking the guard).
#pragma once

#include <atomic>
#include <cstdint>

class Lock;
class PakArchive;

// The mounted archive, or null. Names that run through a ".pak" open their entries in it.
extern std::atomic<PakArchive*> currentArchive;

// The lock shared by all file objects; null while no DiskFile exists.
extern std::atomic<Lock*> fileLock;
// The number of live DiskFile objects.
extern std::atomic<std::uint32_t> fileObjectCount;

// Counts a new file object; the first one creates fileLock (or, when no lock can be made, a
// never-destroyed fallback that still serialises the objects).
void countFileObject();
// Uncounts a file object; the last one destroys fileLock. The object must hold no lock by then.
void uncountFileObject();

// Line ends written by File::WriteLine: 1 selects CR LF, every other value LF. LF (0) by default.
extern std::atomic<std::uint32_t> lineEndMode;
void setLineEndMode(std::uint32_t mode);
