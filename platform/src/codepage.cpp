// The bytes of a font's character set as Unicode code points: each character set read with the code page Windows
// reads it with, decoded through iconv and kept once decoded.
#include "platform/src/platform.h"

#include <iconv.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kUndecoded = 0xFFFFFFFF;
constexpr uint32_t kNoCharacter = 0xFFFFFFFE;
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

struct ByteRange {
    uint8_t first;
    uint8_t last;
};

// What Windows draws for bytes that are no character of a code page is the code page's default character: the
// katakana middle dot for the East Asian double-byte pages, the question mark for the others.
struct CodePageRow {
    int number;
    const char* iconvName;
    const char* language;  // what fontconfig must find in a face for this script; null when any face will do
    uint32_t defaultCharacter;
    ByteRange leads[3];  // none for a single-byte code page
    ByteRange trails[3];
};

constexpr CodePageRow kCodePages[] = {
    {932, "CP932", "ja", 0x30FB, {{0x81, 0x9F}, {0xE0, 0xFC}}, {{0x40, 0x7E}, {0x80, 0xFC}}},
    {936, "CP936", "zh-cn", 0x30FB, {{0x81, 0xFE}}, {{0x40, 0x7E}, {0x80, 0xFE}}},
    {949, "CP949", "ko", 0x30FB, {{0x81, 0xFE}}, {{0x41, 0x5A}, {0x61, 0x7A}, {0x81, 0xFE}}},
    {950, "CP950", "zh-tw", 0x30FB, {{0x81, 0xFE}}, {{0x40, 0x7E}, {0xA1, 0xFE}}},
    {1361, "JOHAB", "ko", 0x30FB, {{0x84, 0xD3}, {0xD8, 0xDE}, {0xE0, 0xF9}}, {{0x31, 0x7E}, {0x81, 0xFE}}},
    {1250, "CP1250", "pl", '?', {}, {}},
    {1251, "CP1251", "ru", '?', {}, {}},
    {1252, "CP1252", nullptr, '?', {}, {}},
    {1253, "CP1253", "el", '?', {}, {}},
    {1254, "CP1254", "tr", '?', {}, {}},
    {1255, "CP1255", "he", '?', {}, {}},
    {1256, "CP1256", "ar", '?', {}, {}},
    {1257, "CP1257", "lt", '?', {}, {}},
    {1258, "CP1258", "vi", '?', {}, {}},
    {874, "CP874", "th", '?', {}, {}},
    {437, "CP437", nullptr, '?', {}, {}},
};

// Windows' character sets and the code pages it reads them with. DEFAULT_CHARSET is the system's ANSI code page,
// which is 1252 here. The symbol and Macintosh sets have no place: their bytes are glyph numbers of particular fonts
// or another platform's encoding, and drawing them as any code page here would draw other characters.
struct CharSetRow {
    BYTE charSet;
    int codePage;
};
constexpr CharSetRow kCharSets[] = {
    {0, 1252},   {1, 1252},   {128, 932},  {129, 949},  {130, 1361}, {134, 936}, {136, 950},  {161, 1253}, {162, 1254},
    {163, 1258}, {177, 1255}, {178, 1256}, {186, 1257}, {204, 1251}, {222, 874}, {238, 1250}, {255, 437},
};

// One code page as decoded so far; opened at its first character.
struct Decoder {
    const CodePageRow* row = nullptr;
    bool opened = false;
    iconv_t converter = kNoConverter;
    bool lead[256] = {};
    bool trail[256] = {};
    uint8_t leadSlot[256] = {};  // a lead byte's row of 256 trail bytes in doubleBytes
    uint32_t singleBytes[256];
    std::vector<uint32_t> doubleBytes;

    ~Decoder() {
        if (converter != kNoConverter) iconv_close(converter);
    }
};

struct CodePages {
    Decoder decoders[std::size(kCodePages)];
    Decoder* byCharSet[256] = {};

    CodePages() {
        for (size_t i = 0; i < std::size(kCodePages); ++i) decoders[i].row = &kCodePages[i];
        for (const CharSetRow& set : kCharSets) {
            for (Decoder& decoder : decoders) {
                if (decoder.row->number == set.codePage) byCharSet[set.charSet] = &decoder;
            }
        }
    }
};
CodePages codePages;

// Without the converter every byte past ASCII reads as the default character, after one line that says why.
bool Open(Decoder& d) {
    if (d.opened) return d.converter != kNoConverter;
    d.opened = true;
    std::fill(std::begin(d.singleBytes), std::end(d.singleBytes), kUndecoded);
    int leads = 0;
    for (const ByteRange& range : d.row->leads) {
        for (int b = range.first; range.last != 0 && b <= range.last; ++b) {
            d.lead[b] = true;
            d.leadSlot[b] = uint8_t(leads++);
        }
    }
    for (const ByteRange& range : d.row->trails) {
        for (int b = range.first; range.last != 0 && b <= range.last; ++b) d.trail[b] = true;
    }
    d.doubleBytes.assign(size_t(leads) * 256, kUndecoded);
    d.converter = iconv_open("UTF-32LE", d.row->iconvName);
    if (d.converter == kNoConverter) {
        std::fprintf(stderr, "text: iconv cannot decode %s\n", d.row->iconvName);
        return false;
    }
    return true;
}

uint32_t Decode(Decoder& d, const uint8_t* bytes, size_t count) {
    if (!Open(d)) return count == 1 && bytes[0] < 0x80 ? bytes[0] : kNoCharacter;
    iconv(d.converter, nullptr, nullptr, nullptr, nullptr);
    char* in = reinterpret_cast<char*>(const_cast<uint8_t*>(bytes));
    size_t inLeft = count;
    uint8_t out[8];
    char* outAt = reinterpret_cast<char*>(out);
    size_t outLeft = sizeof(out);
    size_t converted = iconv(d.converter, &in, &inLeft, &outAt, &outLeft);
    // glibc's Vietnamese and Hebrew converters hold a letter back in case a combining mark follows; Windows draws the
    // two apart, so the letter is asked for at once.
    if (converted != size_t(-1)) converted = iconv(d.converter, nullptr, nullptr, &outAt, &outLeft);
    if (converted == size_t(-1) || inLeft != 0 || outLeft != sizeof(out) - 4) {
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

bool CodePageKnown(BYTE charSet) { return codePages.byCharSet[charSet] != nullptr; }

const char* CodePageLanguage(BYTE charSet) {
    const Decoder* d = codePages.byCharSet[charSet];
    return d != nullptr ? d->row->language : nullptr;
}

// A lead byte with no trail byte after it, or with a byte that cannot trail, is a character of its own: the default
// character. A set with no code page (no font is ever made with one) keeps ASCII and nothing else.
uint32_t CodePageNext(BYTE charSet, const uint8_t* bytes, size_t length, size_t& at) {
    Decoder* d = codePages.byCharSet[charSet];
    if (d == nullptr) {
        uint8_t b = bytes[at++];
        return b < 0x80 ? b : '?';
    }
    Open(*d);  // the tables below are made on the first call
    const uint32_t replacement = d->row->defaultCharacter;
    uint8_t lead = bytes[at];
    uint32_t* slot;
    if (!d->lead[lead]) {
        at += 1;
        slot = &d->singleBytes[lead];
        if (*slot == kUndecoded) *slot = Decode(*d, &lead, 1);
    } else if (at + 1 >= length || !d->trail[bytes[at + 1]]) {
        at += 1;
        return replacement;
    } else {
        uint8_t pair[2] = {lead, bytes[at + 1]};
        at += 2;
        slot = &d->doubleBytes[size_t(d->leadSlot[lead]) * 256 + pair[1]];
        if (*slot == kUndecoded) *slot = Decode(*d, pair, 2);
    }
    return *slot == kNoCharacter ? replacement : *slot;
}

std::string CodePageToUtf8(BYTE charSet, const char* bytes, size_t length) {
    std::string utf8;
    const uint8_t* data = reinterpret_cast<const uint8_t*>(bytes);
    for (size_t at = 0; at < length;) AppendUtf8(utf8, CodePageNext(charSet, data, length, at));
    return utf8;
}
