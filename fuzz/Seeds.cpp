// Writes the fuzz targets' seeds, made with the tests' own fixture builders: wave files of every
// depth and layout (for the scan), the same files behind the private values the scanner gives
// them and a few picture sizes (for the picture), and names with prefixes, "/./", backslashes and
// archive steps (for path resolution). Usage: fuzz_seeds <folder>; one sub-folder per target.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/MemoryFiles.h"
#include "plugin/EntryPoints.h"
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
