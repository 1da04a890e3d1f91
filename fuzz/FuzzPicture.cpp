// Fuzz target: DVP_LoadBitmapA with any private values, any picture size (or none) and any bytes
// as the file. The input is the seven private values (28 bytes), width and height (8 bytes), a flag
// byte (bit 0: no size record at all; bits 1 and 2: the sampling road), then the file. A picture
// must have the size asked for (800 x 600 without a usable record) and, on every road, the pixels
// of the frame-by-frame road; the record must stay as it was; every handle must be closed.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/MemoryFiles.h"
#include "plugin/EntryPoints.h"
#include "wave/WaveSampler.h"

namespace {

constexpr std::size_t headerBytes = 28 + 8 + 1;
// The most pixels a picture of the host's size may have here: a 256 x 256 thumbnail.
constexpr std::int64_t pictureBudget = std::int64_t{1} << 16;

std::int32_t int32At(const std::uint8_t* bytes) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | bytes[i];
    }
    return static_cast<std::int32_t>(value);
}

// The roads the flag byte picks: spans as the plugin reads them, spans of 64 bytes, spans of frames
// at most 16 bytes apart, and frame by frame. Readers in flight are left out: the memory files
// serve one thread.
constexpr SamplingTuning roads[] = {defaultSamplingTuning, {65536, 64, 0, 0, 0}, {16, 4096, 0, 0, 0},
                                    referenceSamplingTuning};

std::vector<std::uint32_t> pixelsOf(HBITMAP bitmap, LONG width, LONG height) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC context = GetDC(nullptr);
    const int lines = GetDIBits(context, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, context);
    if (lines != height) {
        std::abort(); // a picture that cannot be read back
    }
    return pixels;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < headerBytes) {
        return 0;
    }
    FileInfoRecord info;
    std::memset(&info, 0, sizeof(info));
    std::int32_t values[7];
    for (int i = 0; i < 7; ++i) {
        values[i] = int32At(data + 4 * i);
    }
    WavePrivateArea& area = info.privateArea;
    area.isPcm = values[0];
    area.channelCount = values[1];
    area.sampleRate = values[2];
    area.frameCount = static_cast<std::uint32_t>(values[3]);
    area.dataOffset = static_cast<std::uint32_t>(values[4]);
    area.bytesPerFrame = values[5];
    area.bitsPerSample = values[6];
    ImageSizeRecord wanted = {int32At(data + 28), int32At(data + 32)};
    const bool noRecord = (data[36] & 1) != 0;
    // Drawing costs time in proportion to the pixels and nothing else does (the sampling reads two
    // frames a column), so large pictures are correct but only slow: sizes up to a thumbnail of
    // pictureBudget pixels are drawn, larger ones left out, while every size the renderer refuses
    // before it allocates (4 bytes a pixel past 32 bits) goes through.
    const bool fallsBack = noRecord || wanted.width < 1 || wanted.height < 2;
    const std::int64_t pixels = std::int64_t{wanted.width} * wanted.height;
    const bool refused = pixels > std::int64_t{0xFFFFFFFF} / 4;
    if (!fallsBack && !refused && (pixels > pictureBudget || wanted.width > 4096)) {
        return 0;
    }
    // No record, or one below 1 x 2, asks for the default picture, 800 x 600: 480,000 pixels,
    // seven times the budget. Half of all mutated sizes fall back to it, and drawing each of them
    // held the target to a few hundred inputs a second (the fuzzer keeps whatever flag would let
    // only some through). So they run against an empty file: the fallback, the picture's plan and
    // the open all run, and the renderer stops at the data offset before it draws. What the
    // default picture reads and draws, its 800 columns and its 600 rows, sizes within the budget
    // reach too (800 x 2, 2 x 600); the plugin tests draw it whole.
    const std::size_t fileBytes = fallsBack ? 0 : size - headerBytes;

    fuzzfiles::install();
    fuzzfiles::add("C:/in/fuzz.wav", data + headerBytes, fileBytes);
    FileInfoRecord before = info;
    char name[] = "C:/in/fuzz.wav";
    samplingTuning() = roads[(data[36] >> 1) & 3];
    HBITMAP bitmap = DVP_LoadBitmapA(nullptr, name, &info, noRecord ? nullptr : &wanted, nullptr);
    samplingTuning() = referenceSamplingTuning;
    HBITMAP reference = DVP_LoadBitmapA(nullptr, name, &info, noRecord ? nullptr : &wanted, nullptr);
    samplingTuning() = defaultSamplingTuning;
    if ((bitmap == nullptr) != (reference == nullptr)) {
        std::abort(); // one road drew where the other did not
    }
    if (std::memcmp(&info, &before, sizeof(info)) != 0) {
        std::abort(); // drawing wrote into the host's record
    }
    if (bitmap != nullptr) {
        BITMAP shape{};
        GetObjectA(bitmap, sizeof(shape), &shape);
        // No record, or a degenerate one (width below 1, height below 2), asks for the default.
        const bool fallback = noRecord || wanted.width < 1 || wanted.height < 2;
        const LONG width = fallback ? 800 : wanted.width;
        const LONG height = fallback ? 600 : wanted.height;
        if (shape.bmWidth != width || shape.bmHeight != height) {
            std::abort(); // a picture of another size than asked for
        }
        if (pixelsOf(bitmap, width, height) != pixelsOf(reference, width, height)) {
            std::abort(); // a road that picked other samples than the frame-by-frame one
        }
        DeleteObject(bitmap);
        DeleteObject(reference);
    }
    fuzzfiles::reset();
    return 0;
}
