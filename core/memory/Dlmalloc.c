/* dlmalloc, compiled for the mspace heap kind. The build extracts dlmalloc.c from Debian's libffi
 * source package into the build tree (see cmake/Dlmalloc.cmake); it is never kept in the
 * repository.
 *
 * Configured for arenas inside the heap registry's block: mspaces only, footers so that a free of
 * a foreign or corrupt chunk is caught, no locking of its own (MspaceHeap holds its lock around
 * every call), DebugBreak when it finds corruption, and no way to obtain memory beyond the arena:
 * an exhausted mspace answers null, because memory it took from the system would lie outside the
 * heap's address range and its release could never be routed back.
 *
 * For a Windows target the file forces HAVE_MMAP on (VirtualAlloc) whatever is defined here, so
 * the Windows headers it needs are included first and the Windows markers are then removed: it
 * builds as for a plain C platform with neither MORECORE nor mmap. */
#include <windows.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/timeb.h>
#include <sys/types.h>
#include <time.h>

#undef WIN32
#undef _WIN32

#define ONLY_MSPACES 1
#define FOOTERS 1
#define USE_LOCKS 0
#define HAVE_MORECORE 0
#define HAVE_MMAP 0
#define HAVE_MREMAP 0
#define ABORT DebugBreak()
#define LACKS_UNISTD_H
#define LACKS_SYS_PARAM_H
#define LACKS_SYS_MMAN_H

#include "dlmalloc.c"
