// Bitmap resources: the compiled-in table behind FindResourceA and its friends, and the tool that embeds it.
#include <gtest/gtest.h>

#include <windows.h>

#include "platform/src/platform.h"
#include "tests/bitmap_bytes.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> PackedFromFile(const char* name) {
    std::vector<uint8_t> file = ReadFile(std::string(DITESSARY_SOURCE_DIR) + "/resources/" + name + ".bmp");
    return file.size() > 14 ? std::vector<uint8_t>(file.begin() + 14, file.end()) : std::vector<uint8_t>{};
}

std::vector<uint8_t> Bytes(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    return p ? std::vector<uint8_t>(p, p + size) : std::vector<uint8_t>{};
}

TEST(Resources, TheTableHoldsTheFourBitmapsInJapaneseAndFindResourceLoadsEachByNameInAnyCase) {
    ASSERT_EQ(kEmbeddedResourceCount, 4u);
    std::map<std::string, unsigned> seen;
    for (unsigned i = 0; i < kEmbeddedResourceCount; ++i) {
        const EmbeddedResource& r = kEmbeddedResources[i];
        SCOPED_TRACE(r.name);
        seen[r.name] = r.size;
        EXPECT_EQ(r.language, 1041);
        const std::vector<uint8_t> expected = PackedFromFile(r.name);
        EXPECT_EQ(Bytes(r.data, r.size), expected);

        HRSRC found = FindResourceA(nullptr, r.name, RT_BITMAP);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(SizeofResource(nullptr, found), expected.size());
        HGLOBAL loaded = LoadResource(nullptr, found);
        ASSERT_NE(loaded, nullptr);
        EXPECT_EQ(Bytes(LockResource(loaded), expected.size()), expected);
        std::string lower = r.name;
        for (char& c : lower) c = char(c - 'A' + 'a');
        EXPECT_EQ(FindResourceA(nullptr, lower.c_str(), RT_BITMAP), found);
        EXPECT_EQ(FindResourceA(GetModuleHandleA(nullptr), r.name, RT_BITMAP), found);
    }
    EXPECT_EQ(seen, (std::map<std::string, unsigned>{
                        {"BACKIMG", 410664}, {"STRINGS", 58664}, {"TITLE", 308264}, {"CHARA", 308264}}));
    EXPECT_EQ(FindResourceA(nullptr, "Title", RT_BITMAP), FindResourceA(nullptr, "tItLe", RT_BITMAP));
    EXPECT_EQ(FindResourceA(nullptr, "TITLE.bmp", RT_BITMAP), nullptr);
}

// --- the embedding tool, run as the build runs it ---

class EmbedTool : public testing::Test {
protected:
    std::filesystem::path dir;

    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("ditessary-embed-" + std::to_string(getpid()) + "-" +
                                                        testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    void Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }

    struct ToolRun {
        int status;
        std::string errors, output;
    };
    ToolRun Run(const std::string& script) {
        std::ofstream(dir / "test.rc") << script;
        const std::string out = (dir / "out.cpp").string(), err = (dir / "err.txt").string();
        const std::string command = std::string(DITESSARY_BINARY_DIR) + "/tools/embed_resources '" +
                                    (dir / "test.rc").string() + "' '" + out + "' 2> '" + err + "'";
        const int status = std::system(command.c_str());
        const std::vector<uint8_t> errors = ReadFile(err), output = ReadFile(out);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(errors.begin(), errors.end()),
                std::string(output.begin(), output.end())};
    }
};

// A 4 x 1 packed 8-bit bitmap in a file; `field` and `value` spoil one header field for the refusal cases.
std::vector<uint8_t> TinyBmp(size_t field = 0, uint32_t value = 0) {
    BitmapShape shape;
    shape.height = 1;
    shape.pixel = [](int x, int) { return uint32_t(x * 3); };
    std::vector<uint8_t> b = BitmapFile(shape);
    if (field) PutLE(b, field, value, field == 26 || field == 28 ? 2 : 4);
    return b;
}

TEST_F(EmbedTool, EmbedsTheBytesAfterTheFileHeaderAndRefusesMalformedScriptsAndBitmapsNamingTheFault) {
    Write("tiny.bmp", TinyBmp());
    const ToolRun good =
        Run("// comment\nLANGUAGE 0x11, 0x1\ntiny BITMAP \"tiny.bmp\"\r\nLANGUAGE 9, 1\nB BITMAP \"tiny.bmp\"\n");
    ASSERT_EQ(good.status, 0) << good.errors;  // the packed bytes start at biSize and end with the pixels
    for (const char* part : {"{\"TINY\", 1041, kTINY, 1068}", "{\"B\", 1033, kB, 1068}",
                             "\\x28\\x00\\x00\\x00\\x04\\x00", "\\x03\\x06\\x09\""})
        EXPECT_NE(good.output.find(part), std::string::npos) << part;
    std::vector<uint8_t> cut = TinyBmp();
    cut.pop_back();
    Write("cut.bmp", cut);
    std::map<std::string, std::string> cases = {
        {"LANGUAGE 0x11, 0x1\nTINY ICON \"tiny.bmp\"\n", "test.rc:2:"},
        {"TINY BITMAP \"tiny.bmp\"\n", "before any LANGUAGE"},
        {"LANGUAGE 0x11, 0x1\nTINY BITMAP tiny.bmp\n", "test.rc:2:"},
        {"LANGUAGE 0x11, 0x1\nTINY BITMAP \"tiny.bmp\"\ntiny BITMAP \"tiny.bmp\"\n", "named twice"},
        {"LANGUAGE 0x11, 0x1\nTINY BITMAP \"missing.bmp\"\n", "cannot open"},
        {"LANGUAGE 0x400, 0x1\nTINY BITMAP \"tiny.bmp\"\n", "out of range"},
        {"// nothing but a comment\n", "no bitmap resources"},
        {"LANGUAGE 0x11, 0x1\nBAD BITMAP \"cut.bmp\"\n", "cut.bmp"},
    };
    // Bit count, compression, image size, colour count, width, offset, file size field, planes.
    for (auto [field, value] :
         {std::pair<size_t, uint32_t>{28, 24}, {30, 1}, {34, 5}, {46, 16}, {18, 5}, {10, 54}, {2, 9}, {26, 2}}) {
        const std::string file = "bad" + std::to_string(field) + ".bmp";
        Write(file, TinyBmp(field, value));
        cases["LANGUAGE 0x11, 0x1\nBAD BITMAP \"" + file + "\"\n"] = file;
    }
    for (const auto& [script, message] : cases) {
        SCOPED_TRACE(script);
        const ToolRun run = Run(script);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.errors.find(message), std::string::npos) << run.errors;
    }
}

}  // namespace
