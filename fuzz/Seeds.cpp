// Writes the fuzz targets' seeds, made with the tests' own fixture builders: wave files of every
// depth and layout (for the scan), the same files behind the private values the scanner gives
// them and a few picture sizes (for the picture), and names with prefixes, "/./", backslashes and
// archive steps (for path resolution), and pak archives of stored and compressed entries, a wave
// file among them, each ending in a script of entry opens and reads (for the archive). Usage:
// fuzz_seeds <folder>; one sub-folder per target.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/fileio/PakArchive.h"
#include "fuzz/MemoryFiles.h"
#include "plugin/EntryPoints.h"
#include "support/PakWriter.h"
#include "support/WavWriter.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

bool writeFile(const std::string& path, const Bytes& bytes) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && ok;
}

std::vector<Bytes> waveSeeds() {
    std::vector<Bytes> seeds;
    const std::vector<std::int16_t> ramp = {0, 8000, 16000, 32767, -32768, -16000, -8000, 0};
    seeds.push_back(WavWriter().pcm(1, 8000, 8).data(samples8({0, 64, 128, 192, 255, 128})).bytes());
    seeds.push_back(WavWriter().pcm(2, 44100, 16).data(samples16(ramp)).bytes());
    seeds.push_back(WavWriter().pcm(1, 48000, 24).data(samples24({0, 0x7FFFFF, -0x800000, 1, -1})).bytes());
    seeds.push_back(WavWriter().pcm(2, 96000, 32).data(samples32({0, 0x7FFFFFFF, -1, 5})).bytes());
    seeds.push_back(WavWriter().chunk("LIST", {'I', 'N', 'F', 'O', 'x'}, true).pcm(1, 22050, 16)
                        .chunk("fact", {1, 0, 0, 0}).data(samples16(ramp), true).bytes());
    seeds.push_back(WavWriter().fmt(3, 1, 44100, 176400, 4, 32, 18).data(samples32({0, 1, 2})).bytes());
    seeds.push_back(WavWriter().fmt(0xFFFE, 6, 48000, 576000, 12, 16, 40).data(repeated({1, 2}, 6)).bytes());
    seeds.push_back(WavWriter().fmt(1, 1, 8000, 8000, 1, 8, 14).data({1, 2, 3}).bytes());
    seeds.push_back(WavWriter().data(samples16(ramp)).pcm(1, 8000, 16).bytes());
    seeds.push_back(WavWriter().pcm(1, 8000, 16).chunk("data", 0xFFFFFFF0u, samples16(ramp)).bytes());
    seeds.push_back(WavWriter().riffSize(0xFFFFFFFFu).pcm(2, 11025, 8).data(repeated({128, 128}, 16)).bytes());
    return seeds;
}

// The private values the scanner gives a file, taken through the entry point as the host takes them.
bool privateAreaOf(const Bytes& file, WavePrivateArea& area) {
    fuzzfiles::install();
    fuzzfiles::add("seed.wav", file.data(), file.size());
    FileInfoRecord info{};
    char name[] = "seed.wav";
    const bool described = DVP_IdentifyFileA(nullptr, name, &info, nullptr) != FALSE;
    fuzzfiles::reset();
    area = info.privateArea;
    return described;
}

void putI32(Bytes& out, std::int32_t value) { putU32(out, static_cast<std::uint32_t>(value)); }

Bytes pictureSeed(const WavePrivateArea& area, std::int32_t width, std::int32_t height, bool noRecord, const Bytes& file) {
    Bytes seed;
    for (std::int32_t value : {area.isPcm, area.channelCount, area.sampleRate, static_cast<std::int32_t>(area.frameCount),
                               static_cast<std::int32_t>(area.dataOffset), area.bytesPerFrame, area.bitsPerSample}) {
        putI32(seed, value);
    }
    putI32(seed, width);
    putI32(seed, height);
    seed.push_back(noRecord ? 1 : 0);
    seed.insert(seed.end(), file.begin(), file.end());
    return seed;
}

// flag, head, tail, query, name: NUL-separated as the path target reads them.
Bytes pathSeed(std::uint8_t flag, const std::string& head, const std::string& tail, const std::string& query,
               const std::string& name) {
    Bytes seed{flag};
    for (const std::string* part : {&head, &tail, &query}) {
        seed.insert(seed.end(), part->begin(), part->end());
        seed.push_back(0);
    }
    seed.insert(seed.end(), name.begin(), name.end());
    return seed;
}

// The pak target's script, as fuzz/FuzzPak.cpp reads the last 48 bytes of an archive: a step is a
// byte, slot + 4 x action, and its argument bytes.
enum PakAction : std::uint8_t {
    Open = 0, OpenWhole = 2, Read = 3, ReadItems = 6, Seek = 7, Skip = 8, Close = 9, Exists = 11,
    Identify = 12, OpenLoose = 13, OpenArchiveFile = 14, Unmount = 15,
};
// The target's name picks: its fixed names, then (from 15) names hashing to directory words.
enum PakName : std::uint8_t {
    Empty = 0, AWav = 1, DirB = 3, Kick = 4, X = 6, DirBackslash = 7, DirDot = 8, Missing = 9, Tune = 11,
    Big = 12, FirstListed = 15,
};
constexpr std::size_t pakScriptBytes = 48;

std::uint8_t step(std::uint8_t slot, PakAction action) { return static_cast<std::uint8_t>(slot + 4 * action); }

// The archive followed by its script (in the data area, behind every entry), padded in front with
// closes of objects that are not open.
Bytes pakSeed(const Bytes& archive, const Bytes& script) {
    Bytes seed = archive;
    for (std::size_t i = script.size(); i < pakScriptBytes; ++i) {
        seed.push_back(step(3, Close));
    }
    seed.insert(seed.end(), script.begin(), script.end());
    return seed;
}

std::vector<Bytes> pakSeeds(const Bytes& wave) {
    const Bytes tune = {'a', 'a', 'a', 'a', 'b', 'b', 'b', 'b', 'a', 'a', 'a', 'a', 'c', 'c', 'c', 'c', 'a', 'a'};
    const Bytes mixed = PakWriter()
                            .stored("a.wav", wave)
                            .compressed("drums/kick.wav", wave)
                            .stored("x", {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'})
                            .gap(5)
                            .compressed("tune.z", tune)
                            .stored("dir/b.wav", wave)
                            .bytes();
    std::vector<Bytes> seeds;
    seeds.push_back(pakSeed(mixed, {
        step(0, Open), AWav, step(0, Read), 12, step(1, OpenWhole), Kick, step(3, Identify), AWav,
        step(0, Read), 0xF0, step(2, Open), X, step(0, Seek), 3, step(0, Read), 16, step(2, Skip), 0xFF,
        step(2, Read), 5, step(1, Close), step(3, Identify), DirBackslash, step(1, Open), Tune, step(1, Read), 0xF0,
        step(1, Seek), 0, step(1, Read), 0xF0, step(3, Open), FirstListed + 2, step(3, ReadItems), 2, 3,
        step(2, OpenLoose), step(0, Read), 8, step(3, Exists), AWav, step(0, Close), step(3, Unmount)}));
    seeds.push_back(pakSeed(mixed, {
        step(0, OpenWhole), Tune, step(0, Read), 0xFF, step(1, Open), X, step(2, Open), X, step(1, Read), 4,
        step(2, Read), 2, step(0, Close), step(1, Read), 0xF0, step(2, Seek), 9, step(2, Read), 0xF0,
        step(3, OpenArchiveFile), step(3, Read), 40, step(1, Open), DirDot, step(1, Read), 30, step(0, Open), Kick,
        step(0, Read), 0xF0, step(3, Identify), DirB, step(2, Close), step(1, Close), step(0, Open), Missing}));
    // A packed stream longer than the inflate buffer, read whole across its chunks.
    seeds.push_back(pakSeed(PakWriter().compressed("big.z", noise(pakInflateBufferBytes + 600, 7)).stored("x", tune).bytes(), {
        step(0, OpenWhole), Big, step(1, Open), X, step(0, Read), 0x90, step(1, Read), 0xF0, step(0, Seek), 4,
        step(0, Read), 0xFF, step(0, Close), step(2, Open), Big, step(2, Read), 8, step(2, Read), 0xF0}));
    // Damage: an entry reaching past the end of the file, hashes written twice, a short directory.
    seeds.push_back(pakSeed(PakWriter().stored("a.wav", wave).size(static_cast<std::uint32_t>(wave.size()) + 64)
                                .stored("x", tune).stored("x", wave).bytes(), {
        step(0, Open), AWav, step(0, Read), 0xF0, step(1, OpenWhole), AWav, step(2, Open), X, step(2, Read), 0xF0,
        step(3, Identify), AWav, step(0, Seek), 1, step(0, Read), 4}));
    seeds.push_back(pakSeed(PakWriter().stored("", tune).stored("x", tune).dataStart(8 + 16 * 4).bytes(), {
        step(0, Open), Empty, step(0, Read), 0xF0, step(1, Open), FirstListed + 3, step(1, Read), 9,
        step(2, Exists), X}));
    return seeds;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds <folder>\n");
        return 2;
    }
    const std::string root = argv[1];
    mkdir(root.c_str(), 0777);
    std::vector<std::pair<std::string, std::vector<Bytes>>> targets;

    const std::vector<Bytes> waves = waveSeeds();
    targets.push_back({"wave_scan", waves});

    std::vector<Bytes> pictures;
    for (const Bytes& wave : waves) {
        WavePrivateArea area{};
        if (!privateAreaOf(wave, area)) {
            continue;
        }
        pictures.push_back(pictureSeed(area, 64, 16, false, wave));
        pictures.push_back(pictureSeed(area, 3, 2, false, wave));
        pictures.push_back(pictureSeed(area, 800, 2, false, wave));
        pictures.push_back(pictureSeed(area, 2, 600, false, wave));
        pictures.push_back(pictureSeed(area, 0, 0, true, wave));
    }
    targets.push_back({"picture", pictures});

    targets.push_back({"path", {
        pathSeed(0, "", "", "", "a.wav"),
        pathSeed(0, "pre/", "", "", "a.wav"),
        pathSeed(0, "pr", "e/", "q", "./a.wav"),
        pathSeed(1, "pre/", "", "", "dir/./b.wav"),
        pathSeed(0, "", "", "", "dir\\b.wav"),
        pathSeed(0, "", "", "", "x.pak/e.wav"),
        pathSeed(0, "", "", "", "x.pak"),
        pathSeed(0, "", "", "", "x.paks/a.wav"),
        pathSeed(0, "", "", "", "/./x.pak/./a/./b.wav"),
        pathSeed(1, "", "", "", "x.pak/x.pak/e"),
    }});

    targets.push_back({"pak", pakSeeds(waves[1])});

    int written = 0;
    for (const auto& target : targets) {
        const std::string folder = root + "/" + target.first;
        mkdir(folder.c_str(), 0777);
        for (std::size_t i = 0; i < target.second.size(); ++i) {
            char file[32];
            std::snprintf(file, sizeof(file), "/seed%02zu", i);
            if (!writeFile(folder + file, target.second[i])) {
                std::fprintf(stderr, "fuzz_seeds: cannot write %s%s\n", folder.c_str(), file);
                return 1;
            }
            ++written;
        }
    }
    std::printf("fuzz_seeds: %d seeds in %s\n", written, root.c_str());
    return 0;
}
