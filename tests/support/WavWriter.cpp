// WAV fixtures built in code.
#include "WavWriter.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

void putU16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void putU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    putU16(out, value & 0xFFFF);
    putU16(out, value >> 16);
}

namespace {

void putFourCc(std::vector<std::uint8_t>& out, const char* fourCc) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(fourCc[i]));
    }
}

} // namespace

WavWriter::WavWriter() {
    putFourCc(content, "RIFF");
    putU32(content, 0);
    putFourCc(content, "WAVE");
}

WavWriter& WavWriter::riffSize(std::uint32_t size) {
    riffSizeSet = true;
    riffSizeValue = size;
    return *this;
}

WavWriter& WavWriter::formType(const char* fourCc) {
    for (int i = 0; i < 4; ++i) {
        content[8 + i] = static_cast<std::uint8_t>(fourCc[i]);
    }
    return *this;
}

WavWriter& WavWriter::chunk(const char* fourCc, const std::vector<std::uint8_t>& body, bool pad) {
    chunk(fourCc, static_cast<std::uint32_t>(body.size()), body);
    if (pad && body.size() % 2 == 1) {
        content.push_back(0);
    }
    return *this;
}

WavWriter& WavWriter::chunk(const char* fourCc, std::uint32_t sizeField, const std::vector<std::uint8_t>& body) {
    putFourCc(content, fourCc);
    putU32(content, sizeField);
    content.insert(content.end(), body.begin(), body.end());
    return *this;
}

WavWriter& WavWriter::fmt(std::int32_t tag, std::int32_t channels, std::uint32_t sampleRate, std::uint32_t byteRate,
                          std::int32_t blockAlign, std::int32_t bits, std::uint32_t chunkSize) {
    std::vector<std::uint8_t> body;
    putU16(body, static_cast<std::uint32_t>(tag) & 0xFFFF);
    putU16(body, static_cast<std::uint32_t>(channels) & 0xFFFF);
    putU32(body, sampleRate);
    putU32(body, byteRate);
    putU16(body, static_cast<std::uint32_t>(blockAlign) & 0xFFFF);
    putU16(body, static_cast<std::uint32_t>(bits) & 0xFFFF);
    body.resize(chunkSize, 0);
    return chunk("fmt ", body);
}

WavWriter& WavWriter::pcm(std::int32_t channels, std::uint32_t sampleRate, std::int32_t bits) {
    const std::uint32_t frame = static_cast<std::uint32_t>(channels * ((bits + 7) / 8));
    return fmt(1, channels, sampleRate, sampleRate * frame, static_cast<std::int32_t>(frame), bits);
}

WavWriter& WavWriter::data(const std::vector<std::uint8_t>& body, bool pad) { return chunk("data", body, pad); }

WavWriter& WavWriter::raw(const std::vector<std::uint8_t>& bytes) {
    content.insert(content.end(), bytes.begin(), bytes.end());
    return *this;
}

std::vector<std::uint8_t> WavWriter::bytes() const {
    std::vector<std::uint8_t> out = content;
    const std::uint32_t size = riffSizeSet ? riffSizeValue : static_cast<std::uint32_t>(out.size() - 8);
    out[4] = static_cast<std::uint8_t>(size & 0xFF);
    out[5] = static_cast<std::uint8_t>((size >> 8) & 0xFF);
    out[6] = static_cast<std::uint8_t>((size >> 16) & 0xFF);
    out[7] = static_cast<std::uint8_t>(size >> 24);
    return out;
}

std::vector<std::uint8_t> samples8(const std::vector<std::uint8_t>& values) { return values; }

std::vector<std::uint8_t> samples16(const std::vector<std::int16_t>& values) {
    std::vector<std::uint8_t> out;
    for (std::int16_t v : values) {
        putU16(out, static_cast<std::uint16_t>(v));
    }
    return out;
}

std::vector<std::uint8_t> samples24(const std::vector<std::int32_t>& values) {
    std::vector<std::uint8_t> out;
    for (std::int32_t v : values) {
        const std::uint32_t u = static_cast<std::uint32_t>(v);
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
        out.push_back(static_cast<std::uint8_t>((u >> 8) & 0xFF));
        out.push_back(static_cast<std::uint8_t>((u >> 16) & 0xFF));
    }
    return out;
}

std::vector<std::uint8_t> samples32(const std::vector<std::int32_t>& values) {
    std::vector<std::uint8_t> out;
    for (std::int32_t v : values) {
        putU32(out, static_cast<std::uint32_t>(v));
    }
    return out;
}

std::vector<std::uint8_t> repeated(const std::vector<std::uint8_t>& frame, std::uint32_t count) {
    std::vector<std::uint8_t> out;
    out.reserve(frame.size() * count);
    for (std::uint32_t i = 0; i < count; ++i) {
        out.insert(out.end(), frame.begin(), frame.end());
    }
    return out;
}

std::string scratchPath(const std::string& stem) {
    static std::atomic<unsigned> serial{0};
    char directory[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(MAX_PATH, directory);
    std::string path = (length > 0 && length <= MAX_PATH) ? std::string(directory) : std::string(".\\");
    char unique[64];
    std::snprintf(unique, sizeof unique, "sonolook-%lu-%u-", static_cast<unsigned long>(GetCurrentProcessId()),
                  serial.fetch_add(1));
    return path + unique + stem;
}

bool writeFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool all = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return (std::fclose(file) == 0) && all;
}

namespace {

bool extendFile(const std::string& path, std::uint64_t length) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(length);
    const bool extended = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    return CloseHandle(file) && extended;
}

} // namespace

ScratchFile::ScratchFile(const std::string& stem, const std::vector<std::uint8_t>& bytes, std::uint64_t length)
    : name(scratchPath(stem)) {
    ok = writeFileBytes(name, bytes) && (length <= bytes.size() || extendFile(name, length));
}

ScratchFile::~ScratchFile() { DeleteFileA(name.c_str()); }
