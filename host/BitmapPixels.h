// Reading a picture the plugin handed over back into memory, as a host that shows it would: the
// tests compare its pixels, the preview tool writes them out.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

// The pixels of a bitmap, row 0 at the bottom, as 0x00RRGGBB; empty when they cannot be read.
// width and height receive the bitmap's size.
std::vector<std::uint32_t> readBack(HBITMAP bitmap, LONG& width, LONG& height);
