// Fuzzes DDLoadPalette with the fuzzed bytes as a bitmap file and as a bitmap resource, and checks what
// it must keep whatever the bytes: entries past the end of a short file stay the 3-3-2 colours.
#include "display/display.h"
#include "platform/testing.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

LPDIRECTDRAW7 directDraw = nullptr;
std::string folder;
std::string path;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (DirectDrawCreateEx(nullptr, reinterpret_cast<LPVOID*>(&directDraw), IID_IDirectDraw7, nullptr) != DD_OK)
        std::abort();
    // Memory-backed where there is such a place: the file is rewritten for every input.
    char shared[] = "/dev/shm/palette-fuzz-XXXXXX";
    char temporary[] = "/tmp/palette-fuzz-XXXXXX";
    char* directory = mkdtemp(shared);
    if (directory == nullptr && (directory = mkdtemp(temporary)) == nullptr) std::abort();
    folder = directory;
    path = folder + "/PALETTE";
    std::atexit([] {
        std::remove(path.c_str());
        rmdir(folder.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    LPDIRECTDRAWPALETTE palette = DDLoadPalette(directDraw, path.c_str());
    if (palette == nullptr) std::abort();
    PALETTEENTRY entries[256];
    palette->GetEntries(0, 0, 256, entries);
    palette->Release();
    size_t read = size > 54 ? size - 54 : 0;
    for (size_t i = (read + 3) / 4; i < 256; ++i) {
        if (entries[i].peRed != ((i >> 5) & 7) * 255 / 7 || entries[i].peGreen != ((i >> 2) & 7) * 255 / 7 ||
            entries[i].peBlue != (i & 3) * 255 / 3 || entries[i].peFlags != 0)
            std::abort();
    }

    TestRegisterBitmapResource("FUZZED", std::vector<uint8_t>(data, data + size));
    palette = DDLoadPalette(directDraw, "FUZZED");
    if (palette == nullptr) std::abort();
    palette->Release();
    TestResetResources();
    return 0;
}
