// Builds RIFF WAVE files in code, byte by byte: well-formed ones, and every kind of damage a test
// needs (wrong sizes, odd chunks, pad bytes, truncation). The preview tool and the benchmark make
// their recordings with it too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class WavWriter {
public:
    // Starts with the 12-byte RIFF header: "RIFF", a size field filled in by bytes(), "WAVE".
    WavWriter();

    // Replaces the RIFF size field (normally total length - 8) and the form type.
    WavWriter& riffSize(std::uint32_t size);
    WavWriter& formType(const char* fourCc);

    // A chunk whose size field is the body's length; with pad, an odd body gets its pad byte.
    WavWriter& chunk(const char* fourCc, const std::vector<std::uint8_t>& body, bool pad = false);
    // A chunk whose size field says sizeField whatever the body holds.
    WavWriter& chunk(const char* fourCc, std::uint32_t sizeField, const std::vector<std::uint8_t>& body);
    // A fmt chunk: the 16 standard bytes, then zeros up to chunkSize, or only the first chunkSize
    // bytes when it is below 16.
    WavWriter& fmt(std::int32_t tag, std::int32_t channels, std::uint32_t sampleRate, std::uint32_t byteRate,
                   std::int32_t blockAlign, std::int32_t bits, std::uint32_t chunkSize = 16);
    // A PCM fmt chunk with consistent rate and alignment.
    WavWriter& pcm(std::int32_t channels, std::uint32_t sampleRate, std::int32_t bits);
    WavWriter& data(const std::vector<std::uint8_t>& body, bool pad = false);
    // Bytes appended as they are.
    WavWriter& raw(const std::vector<std::uint8_t>& bytes);

    std::vector<std::uint8_t> bytes() const;

private:
    std::vector<std::uint8_t> content;
    bool riffSizeSet = false;
    std::uint32_t riffSizeValue = 0;
};

// Sample bodies, little-endian, frames interleaved as given.
std::vector<std::uint8_t> samples8(const std::vector<std::uint8_t>& values);
std::vector<std::uint8_t> samples16(const std::vector<std::int16_t>& values);
std::vector<std::uint8_t> samples24(const std::vector<std::int32_t>& values);
std::vector<std::uint8_t> samples32(const std::vector<std::int32_t>& values);
// count copies of one frame's bytes.
std::vector<std::uint8_t> repeated(const std::vector<std::uint8_t>& frame, std::uint32_t count);

void putU16(std::vector<std::uint8_t>& out, std::uint32_t value);
void putU32(std::vector<std::uint8_t>& out, std::uint32_t value);

// Writes bytes to path, replacing the file; false when it cannot be written whole.
bool writeFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// A file in the temporary directory, written at construction and deleted at destruction. With a
// length beyond the bytes, the file is extended to it with zeros (sparse where the file system
// allows, so that files of gigabytes cost no disk space).
class ScratchFile {
public:
    ScratchFile(const std::string& stem, const std::vector<std::uint8_t>& bytes, std::uint64_t length = 0);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const char* path() const { return name.c_str(); }
    bool written() const { return ok; }

private:
    std::string name;
    bool ok = false;
};

// A unique path in the temporary directory (nothing is created).
std::string scratchPath(const std::string& stem);
