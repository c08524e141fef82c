// The bytes of a font's character set as Unicode code points, decoded through iconv and kept once decoded.
#include "platform/src/platform.h"

#include <iconv.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// What Windows draws for bytes that are no character of code page 932: the code page's default character, the
// katakana middle dot.
constexpr uint32_t kReplacement = 0x30FB;
constexpr uint32_t kUndecoded = 0xFFFFFFFF;
constexpr uint32_t kNoCharacter = 0xFFFFFFFE;

struct CodePage932 {
    bool opened = false;
    iconv_t decoder = reinterpret_cast<iconv_t>(-1);
    uint32_t singleBytes[256];
    std::vector<uint32_t> doubleBytes;  // 60 lead bytes x 256 trail bytes, decoded on first sight

    ~CodePage932() {
        if (decoder != reinterpret_cast<iconv_t>(-1)) iconv_close(decoder);
    }
};
CodePage932 cp932;

// Opened at the first character; without the converter every byte past ASCII reads as the replacement.
bool Open() {
    if (cp932.opened) return cp932.decoder != reinterpret_cast<iconv_t>(-1);
    cp932.opened = true;
    std::fill(std::begin(cp932.singleBytes), std::end(cp932.singleBytes), kUndecoded);
    cp932.doubleBytes.assign(60 * 256, kUndecoded);
    cp932.decoder = iconv_open("UTF-32LE", "CP932");
    if (cp932.decoder == reinterpret_cast<iconv_t>(-1)) {
        std::fprintf(stderr, "text: iconv cannot decode CP932\n");
        return false;
    }
    return true;
}

bool IsLeadByte(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool IsTrailByte(uint8_t b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

uint32_t Decode(const uint8_t* bytes, size_t count) {
    if (!Open()) return count == 1 && bytes[0] < 0x80 ? bytes[0] : kNoCharacter;
    iconv(cp932.decoder, nullptr, nullptr, nullptr, nullptr);
    char* in = reinterpret_cast<char*>(const_cast<uint8_t*>(bytes));
    size_t inLeft = count;
    uint8_t out[8];
    char* outAt = reinterpret_cast<char*>(out);
    size_t outLeft = sizeof(out);
    if (iconv(cp932.decoder, &in, &inLeft, &outAt, &outLeft) == size_t(-1) || inLeft != 0 ||
        outLeft != sizeof(out) - 4) {
        return kNoCharacter;
    }
    return uint32_t(out[0]) | uint32_t(out[1]) << 8 | uint32_t(out[2]) << 16 | uint32_t(out[3]) << 24;
}

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out.push_back(char(c));
    } else if (c < 0x800) {
        out.push_back(char(0xC0 | c >> 6));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(char(0xE0 | c >> 12));
        out.push_back(char(0x80 | (c >> 6 & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else {
        out.push_back(char(0xF0 | c >> 18));
        out.push_back(char(0x80 | (c >> 12 & 0x3F)));
        out.push_back(char(0x80 | (c >> 6 & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    }
}

}  // namespace

// A lead byte with no trail byte after it, or with a byte that cannot trail, is a character of its own: the
// replacement.
uint32_t CodePageNext(BYTE, const uint8_t* bytes, size_t length, size_t& at) {
    Open();  // the tables below are made on the first call
    uint8_t lead = bytes[at];
    uint32_t* slot;
    if (!IsLeadByte(lead)) {
        at += 1;
        slot = &cp932.singleBytes[lead];
        if (*slot == kUndecoded) *slot = Decode(&lead, 1);
    } else if (at + 1 >= length || !IsTrailByte(bytes[at + 1])) {
        at += 1;
        return kReplacement;
    } else {
        uint8_t pair[2] = {lead, bytes[at + 1]};
        at += 2;
        slot = &cp932.doubleBytes[(lead <= 0x9F ? lead - 0x81 : lead - 0xE0 + 31) * 256 + pair[1]];
        if (*slot == kUndecoded) *slot = Decode(pair, 2);
    }
    return *slot == kNoCharacter ? kReplacement : *slot;
}

std::string CodePageToUtf8(BYTE charSet, const char* bytes, size_t length) {
    std::string utf8;
    const uint8_t* data = reinterpret_cast<const uint8_t*>(bytes);
    for (size_t at = 0; at < length;) AppendUtf8(utf8, CodePageNext(charSet, data, length, at));
    return utf8;
}
