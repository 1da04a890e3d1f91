// The test archives' writer.
#include "support/PakWriter.h"

#include <zlib.h>

#include <algorithm>

#include "core/fileio/PakArchive.h"
#include "support/WavWriter.h"

std::vector<std::uint8_t> zlibStream(const std::vector<std::uint8_t>& content) {
    uLongf length = compressBound(static_cast<uLong>(content.size()));
    std::vector<std::uint8_t> stream(length);
    if (compress2(stream.data(), &length, content.data(), static_cast<uLong>(content.size()), Z_BEST_SPEED) != Z_OK) {
        return {};
    }
    stream.resize(length);
    return stream;
}

std::vector<std::uint8_t> noise(std::uint32_t count, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(count);
    std::uint32_t state = seed;
    for (std::uint8_t& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

PakWriter& PakWriter::stored(const std::string& name, const std::vector<std::uint8_t>& content) {
    return entry(HashEntryName(name.c_str()), content, 0, static_cast<std::uint32_t>(content.size()));
}

PakWriter& PakWriter::compressed(const std::string& name, const std::vector<std::uint8_t>& content) {
    const std::vector<std::uint8_t> stream = zlibStream(content);
    return entry(HashEntryName(name.c_str()), stream, static_cast<std::uint32_t>(stream.size()),
                 static_cast<std::uint32_t>(content.size()));
}

PakWriter& PakWriter::entry(std::uint32_t nameHash, const std::vector<std::uint8_t>& payload, std::uint32_t packed,
                            std::uint32_t contentSize) {
    entries.push_back(Entry{nameHash, cursor, packed, contentSize, payload});
    cursor += static_cast<std::uint32_t>(payload.size());
    return *this;
}

PakWriter& PakWriter::hash(std::uint32_t nameHash) {
    entries.back().nameHash = nameHash;
    return *this;
}

PakWriter& PakWriter::offset(std::uint32_t at) {
    entries.back().offset = at;
    const std::uint64_t entryEnd = std::uint64_t{at} + entries.back().payload.size();
    if (entryEnd <= 0xFFFFFFFFu) {
        cursor = std::max(cursor, static_cast<std::uint32_t>(entryEnd));
    }
    return *this;
}

PakWriter& PakWriter::packedSize(std::uint32_t packed) {
    entries.back().packedSize = packed;
    return *this;
}

PakWriter& PakWriter::size(std::uint32_t contentSize) {
    entries.back().size = contentSize;
    return *this;
}

PakWriter& PakWriter::gap(std::uint32_t count) {
    cursor += count;
    return *this;
}

PakWriter& PakWriter::dataStart(std::uint32_t forged) {
    dataStartForged = true;
    forgedDataStart = forged;
    return *this;
}

PakWriter& PakWriter::reserved(std::uint32_t value) {
    reservedWord = value;
    return *this;
}

std::vector<std::uint8_t> PakWriter::bytes() const {
    const std::uint32_t trueStart = 8 + 16 * static_cast<std::uint32_t>(entries.size());
    std::vector<std::uint8_t> out;
    putU32(out, dataStartForged ? forgedDataStart : trueStart);
    putU32(out, reservedWord);
    for (const Entry& e : entries) {
        putU32(out, e.nameHash);
        putU32(out, e.offset);
        putU32(out, e.packedSize);
        putU32(out, e.size);
    }
    // Payloads are placed relative to the true start of the data area; filler bytes are 0xEE. A
    // payload whose offset lies beyond any test file (past 256 MiB) is left out: only its directory
    // entry is written.
    const std::uint64_t placeable = 256u << 20;
    std::size_t end = out.size();
    for (const Entry& e : entries) {
        const std::uint64_t entryEnd = std::uint64_t{trueStart} + e.offset + e.payload.size();
        if (entryEnd <= placeable) {
            end = std::max(end, static_cast<std::size_t>(entryEnd));
        }
    }
    out.resize(end, 0xEE);
    for (const Entry& e : entries) {
        const std::uint64_t entryEnd = std::uint64_t{trueStart} + e.offset + e.payload.size();
        if (entryEnd <= placeable) {
            std::copy(e.payload.begin(), e.payload.end(), out.begin() + static_cast<std::ptrdiff_t>(trueStart + e.offset));
        }
    }
    return out;
}
