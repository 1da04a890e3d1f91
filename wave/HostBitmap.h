// The renderer's bitmap step: turns the finished pixel buffer into the device-dependent bitmap the
// host shows, made for the device context of the host's window.
#pragma once

#include <cstdint>

#include "core/memory/HeapPointer.h"

// Makes a bitmap from width x height 32-bit pixels, row 0 at the bottom, for the device context of
// window (null: the screen). The pixels are given back to the heap registry on every path. Returns the bitmap as an opaque handle, or null when there is no device
// context or the bitmap cannot be made. The device context is released before returning.
void* createHostBitmap(void* window, HeapPointer<std::uint32_t> pixels, std::int32_t width, std::int32_t height);
