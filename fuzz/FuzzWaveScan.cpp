// Fuzz target: any bytes as a file handed to DVP_IdentifyFileA, and, when the file is described as
// drawable, its picture at a small size. A refusal must leave the host's record untouched; an
// answer must be a terminated description within the host's buffer; every handle must be closed.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/MemoryFiles.h"
#include "plugin/EntryPoints.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzfiles::install();
    fuzzfiles::add("C:/in/fuzz.wav", data, size);

    char text[64];
    std::memset(text, 0xCD, sizeof(text));
    FileInfoRecord info;
    std::memset(&info, 0xCD, sizeof(info));
    info.description = text;
    info.descriptionCapacity = sizeof(text);
    FileInfoRecord before = info;
    char name[] = "C:\\in\\fuzz.wav";

    if (!DVP_IdentifyFileA(nullptr, name, &info, nullptr)) {
        if (std::memcmp(&info, &before, sizeof(info)) != 0 || text[0] != static_cast<char>(0xCD)) {
            std::abort(); // a refusal wrote into the host's record
        }
    } else {
        if (std::memchr(text, '\0', sizeof(text)) == nullptr) {
            std::abort(); // the description ran to the end of the host's buffer unterminated
        }
        ImageSizeRecord small = {48, 16};
        HBITMAP bitmap = DVP_LoadBitmapA(nullptr, name, &info, &small, nullptr);
        if (bitmap != nullptr) {
            DeleteObject(bitmap);
        }
    }
    fuzzfiles::reset();
    return 0;
}
