// Fuzz target: path resolution with any name, query path and prefix. The input holds up to four
// NUL-separated texts (prefix head, prefix tail, query path, name) after a flag byte (bit 0: the
// object skips the prefix). A few files exist in memory, an archive among them, so that names run
// through mounting, entry opening and "/./" collapsing. Each name is opened, read, closed and
// probed with Exists; afterwards the archive is unmounted and the settings cleared, so that every
// input starts from the same state.
#include <cstdint>
#include <cstring>

#include "core/fileio/DiskFile.h"
#include "core/fileio/ArchiveMount.h"
#include "core/fileio/PakArchive.h"
#include "core/fileio/PathSettings.h"
#include "core/fileio/SharedState.h"
#include "core/thread/Lock.h"
#include "fuzz/MemoryFiles.h"

namespace {

const std::uint8_t smallWave[] = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'};

// Splits at NUL bytes into at most four texts; the last takes the rest.
struct Texts {
    char storage[4][1024] = {};
};

void split(const std::uint8_t* data, std::size_t size, Texts& texts) {
    std::size_t part = 0;
    std::size_t length = 0;
    for (std::size_t i = 0; i < size && part < 4; ++i) {
        if (data[i] == 0 && part < 3) {
            ++part;
            length = 0;
            continue;
        }
        if (length + 1 < sizeof(texts.storage[part])) {
            texts.storage[part][length++] = static_cast<char>(data[i]);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    fuzzfiles::install();
    fuzzfiles::add("a.wav", smallWave, sizeof(smallWave));
    fuzzfiles::add("dir/b.wav", smallWave, sizeof(smallWave));
    fuzzfiles::add("pre/a.wav", smallWave, sizeof(smallWave));
    fuzzfiles::add("x.pak", smallWave, sizeof(smallWave));
    Texts texts;
    split(data + 1, size - 1, texts);
    const bool skipPrefix = (data[0] & 1) != 0;
    setPathSettings(texts.storage[2], texts.storage[0], texts.storage[1]);
    {
        DiskFile file(skipPrefix);
        if (file.Open(texts.storage[3])) {
            std::uint8_t buffer[16];
            file.Read(buffer, sizeof(buffer));
            file.Close();
        }
        file.Exists(texts.storage[3]);
        file.Open(texts.storage[3], 1, HeapCategory::Engine);
        file.Close();
    }
    {
        ScopedLock guard(fileLock.load());
        UnmountArchive();
    }
    setPathSettings(nullptr, nullptr, nullptr);
    fuzzfiles::reset();
    return 0;
}
