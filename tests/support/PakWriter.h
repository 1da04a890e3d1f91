// Builds pak archives in code for the tests: stored and compressed entries, entries at chosen
// offsets with gaps between them, forged hashes, sizes and headers. Producing archives is no part
// of the product; this lives with the test support only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The zlib stream (header, deflate data, Adler-32 trailer) of content.
std::vector<std::uint8_t> zlibStream(const std::vector<std::uint8_t>& content);
// count bytes that do not compress (a fixed pseudo-random sequence drawn from seed).
std::vector<std::uint8_t> noise(std::uint32_t count, std::uint32_t seed);

class PakWriter {
public:
    // An entry whose content is stored as it is.
    PakWriter& stored(const std::string& name, const std::vector<std::uint8_t>& content);
    // An entry stored as the zlib stream of content.
    PakWriter& compressed(const std::string& name, const std::vector<std::uint8_t>& content);
    // An entry with every field chosen: payload is what lies at its offset in the data area.
    PakWriter& entry(std::uint32_t nameHash, const std::vector<std::uint8_t>& payload, std::uint32_t packedSize,
                     std::uint32_t size);
    // Changes the last entry: its hash, its offset from dataStart (its payload is placed there),
    // its packed size or its size.
    PakWriter& hash(std::uint32_t nameHash);
    PakWriter& offset(std::uint32_t offset);
    PakWriter& packedSize(std::uint32_t packedSize);
    PakWriter& size(std::uint32_t size);
    // count filler bytes in the data area before the next entry's payload.
    PakWriter& gap(std::uint32_t count);
    // Header words written instead of the true dataStart and 0.
    PakWriter& dataStart(std::uint32_t forged);
    PakWriter& reserved(std::uint32_t value);

    std::vector<std::uint8_t> bytes() const;

private:
    struct Entry {
        std::uint32_t nameHash;
        std::uint32_t offset;
        std::uint32_t packedSize;
        std::uint32_t size;
        std::vector<std::uint8_t> payload;
    };
    std::vector<Entry> entries;
    std::uint32_t cursor = 0;
    bool dataStartForged = false;
    std::uint32_t forgedDataStart = 0;
    std::uint32_t reservedWord = 0;
};
