// The three calls of the bundled dlmalloc that MspaceHeap uses. dlmalloc is built as a C library
// of its own (Dlmalloc.c) with mspaces only, chunk footers, no locking and no memory beyond the
// arena it is given.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// An mspace managing capacity bytes at base, or null when the arena cannot hold dlmalloc's own
// bookkeeping. locked must be 0: the heap that owns the mspace does the locking.
void* create_mspace_with_base(void* base, size_t capacity, int locked);
// bytes at a multiple of alignment from the mspace, or null when it has no room.
void* mspace_memalign(void* msp, size_t alignment, size_t bytes);
// Gives back a block of the mspace; a corrupt chunk or a foreign pointer stops the process.
void mspace_free(void* msp, void* mem);

#ifdef __cplusplus
}
#endif
