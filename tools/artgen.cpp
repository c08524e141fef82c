// Writes resources/BACKIMG.bmp, STRINGS.bmp, TITLE.bmp and CHARA.bmp: draws each with the toolkit in art.cpp and
// writes it with the shared colour table.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "art.h"

namespace {

void Put16(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>((v >> 8) & 0xff));
}

void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xffff);
    Put16(out, v >> 16);
}

void WriteBmp(const std::string& path, const art::Canvas& c, const art::Table& table) {
    if (c.width % 4 != 0) art::Fail(path + ": width must be a multiple of 4 so rows carry no padding");
    const uint32_t pixelBytes = static_cast<uint32_t>(c.width) * c.height;
    const uint32_t offset = 14 + 40 + 1024;
    std::string out;
    out += "BM";
    Put32(out, offset + pixelBytes);
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(c.width));
    Put32(out, static_cast<uint32_t>(c.height));
    Put16(out, 1);
    Put16(out, 8);
    Put32(out, 0);
    Put32(out, pixelBytes);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    for (const art::Rgb& e : table) {
        out.push_back(static_cast<char>(e.b));
        out.push_back(static_cast<char>(e.g));
        out.push_back(static_cast<char>(e.r));
        out.push_back(0);
    }
    for (int y = c.height - 1; y >= 0; --y)
        out.append(reinterpret_cast<const char*>(&c.pixels[static_cast<size_t>(y) * c.width]), c.width);

    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) art::Fail("cannot write " + path);
    const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    if (std::fclose(f) != 0 || !ok) art::Fail("short write to " + path);
    std::printf("artgen: wrote %s (%zu bytes)\n", path.c_str(), out.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: artgen <output-directory>\n");
        return 2;
    }
    const std::string dir = argv[1];
    const art::Table shared = art::SharedTable();
    WriteBmp(dir + "/BACKIMG.bmp", art::DrawBackground(shared), shared);
    WriteBmp(dir + "/STRINGS.bmp", art::DrawStrings(), shared);
    WriteBmp(dir + "/TITLE.bmp", art::DrawTitle(), shared);
    const art::Sheet chara = art::DrawChara(shared);
    WriteBmp(dir + "/CHARA.bmp", chara.canvas, chara.table);
    return 0;
}
