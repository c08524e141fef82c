// The physical keys: what the window messages and DirectInput's keyboard report for each of SDL's scancodes.
#include "platform/src/platform.h"

#include <array>

namespace {

// A PC keyboard key reports its scan code, with the extended bit for the keys that came later (the E0 prefix);
// DirectInput numbers a key by the same two, the extended bit as 0x80.
constexpr KeyRow Key(SDL_Scancode scancode, BYTE virtualKey, BYTE scan, bool extended = false) {
    return {scancode, virtualKey, scan, extended, BYTE(scan | (extended ? 0x80 : 0))};
}

// Windows has no virtual key for some keys and sends this one for them.
constexpr BYTE kNoVirtualKey = 0xFF;

constexpr KeyRow kKeys[] = {
    Key(SDL_SCANCODE_ESCAPE, VK_ESCAPE, 0x01),
    Key(SDL_SCANCODE_1, '1', 0x02),
    Key(SDL_SCANCODE_2, '2', 0x03),
    Key(SDL_SCANCODE_3, '3', 0x04),
    Key(SDL_SCANCODE_4, '4', 0x05),
    Key(SDL_SCANCODE_5, '5', 0x06),
    Key(SDL_SCANCODE_6, '6', 0x07),
    Key(SDL_SCANCODE_7, '7', 0x08),
    Key(SDL_SCANCODE_8, '8', 0x09),
    Key(SDL_SCANCODE_9, '9', 0x0A),
    Key(SDL_SCANCODE_0, '0', 0x0B),
    Key(SDL_SCANCODE_MINUS, 0xBD, 0x0C),
    Key(SDL_SCANCODE_EQUALS, 0xBB, 0x0D),
    Key(SDL_SCANCODE_BACKSPACE, VK_BACK, 0x0E),
    Key(SDL_SCANCODE_TAB, VK_TAB, 0x0F),
    Key(SDL_SCANCODE_Q, 'Q', 0x10),
    Key(SDL_SCANCODE_W, 'W', 0x11),
    Key(SDL_SCANCODE_E, 'E', 0x12),
    Key(SDL_SCANCODE_R, 'R', 0x13),
    Key(SDL_SCANCODE_T, 'T', 0x14),
    Key(SDL_SCANCODE_Y, 'Y', 0x15),
    Key(SDL_SCANCODE_U, 'U', 0x16),
    Key(SDL_SCANCODE_I, 'I', 0x17),
    Key(SDL_SCANCODE_O, 'O', 0x18),
    Key(SDL_SCANCODE_P, 'P', 0x19),
    Key(SDL_SCANCODE_LEFTBRACKET, 0xDB, 0x1A),
    Key(SDL_SCANCODE_RIGHTBRACKET, 0xDD, 0x1B),
    Key(SDL_SCANCODE_RETURN, VK_RETURN, 0x1C),
    Key(SDL_SCANCODE_LCTRL, VK_CONTROL, 0x1D),
    Key(SDL_SCANCODE_A, 'A', 0x1E),
    Key(SDL_SCANCODE_S, 'S', 0x1F),
    Key(SDL_SCANCODE_D, 'D', 0x20),
    Key(SDL_SCANCODE_F, 'F', 0x21),
    Key(SDL_SCANCODE_G, 'G', 0x22),
    Key(SDL_SCANCODE_H, 'H', 0x23),
    Key(SDL_SCANCODE_J, 'J', 0x24),
    Key(SDL_SCANCODE_K, 'K', 0x25),
    Key(SDL_SCANCODE_L, 'L', 0x26),
    Key(SDL_SCANCODE_SEMICOLON, 0xBA, 0x27),
    Key(SDL_SCANCODE_APOSTROPHE, 0xDE, 0x28),
    Key(SDL_SCANCODE_GRAVE, 0xC0, 0x29),
    Key(SDL_SCANCODE_LSHIFT, VK_SHIFT, 0x2A),
    Key(SDL_SCANCODE_BACKSLASH, 0xDC, 0x2B),
    Key(SDL_SCANCODE_NONUSHASH, 0xDC, 0x2B),  // the ISO key left of Enter sits where the US backslash is
    Key(SDL_SCANCODE_Z, 'Z', 0x2C),
    Key(SDL_SCANCODE_X, 'X', 0x2D),
    Key(SDL_SCANCODE_C, 'C', 0x2E),
    Key(SDL_SCANCODE_V, 'V', 0x2F),
    Key(SDL_SCANCODE_B, 'B', 0x30),
    Key(SDL_SCANCODE_N, 'N', 0x31),
    Key(SDL_SCANCODE_M, 'M', 0x32),
    Key(SDL_SCANCODE_COMMA, 0xBC, 0x33),
    Key(SDL_SCANCODE_PERIOD, 0xBE, 0x34),
    Key(SDL_SCANCODE_SLASH, 0xBF, 0x35),
    Key(SDL_SCANCODE_RSHIFT, VK_SHIFT, 0x36),
    Key(SDL_SCANCODE_KP_MULTIPLY, 0x6A, 0x37),
    Key(SDL_SCANCODE_LALT, VK_MENU, 0x38),
    Key(SDL_SCANCODE_SPACE, VK_SPACE, 0x39),
    Key(SDL_SCANCODE_CAPSLOCK, VK_CAPITAL, 0x3A),
    Key(SDL_SCANCODE_F1, VK_F1, 0x3B),
    Key(SDL_SCANCODE_F2, VK_F1 + 1, 0x3C),
    Key(SDL_SCANCODE_F3, VK_F1 + 2, 0x3D),
    Key(SDL_SCANCODE_F4, VK_F1 + 3, 0x3E),
    Key(SDL_SCANCODE_F5, VK_F1 + 4, 0x3F),
    Key(SDL_SCANCODE_F6, VK_F1 + 5, 0x40),
    Key(SDL_SCANCODE_F7, VK_F1 + 6, 0x41),
    Key(SDL_SCANCODE_F8, VK_F1 + 7, 0x42),
    Key(SDL_SCANCODE_F9, VK_F1 + 8, 0x43),
    Key(SDL_SCANCODE_F10, VK_F1 + 9, 0x44),
    // Num Lock and Pause share scan code 0x45; Windows marks Num Lock extended, DirectInput numbers the other way.
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x90, 0x45, true, 0x45},
    Key(SDL_SCANCODE_SCROLLLOCK, 0x91, 0x46),
    Key(SDL_SCANCODE_KP_7, 0x67, 0x47),
    Key(SDL_SCANCODE_KP_8, 0x68, 0x48),
    Key(SDL_SCANCODE_KP_9, 0x69, 0x49),
    Key(SDL_SCANCODE_KP_MINUS, 0x6D, 0x4A),
    Key(SDL_SCANCODE_KP_4, 0x64, 0x4B),
    Key(SDL_SCANCODE_KP_5, 0x65, 0x4C),
    Key(SDL_SCANCODE_KP_6, 0x66, 0x4D),
    Key(SDL_SCANCODE_KP_PLUS, 0x6B, 0x4E),
    Key(SDL_SCANCODE_KP_1, 0x61, 0x4F),
    Key(SDL_SCANCODE_KP_2, 0x62, 0x50),
    Key(SDL_SCANCODE_KP_3, 0x63, 0x51),
    Key(SDL_SCANCODE_KP_0, 0x60, 0x52),
    Key(SDL_SCANCODE_KP_PERIOD, 0x6E, 0x53),
    Key(SDL_SCANCODE_NONUSBACKSLASH, 0xE2, 0x56),
    Key(SDL_SCANCODE_F11, VK_F1 + 10, 0x57),
    Key(SDL_SCANCODE_F12, VK_F12, 0x58),
    Key(SDL_SCANCODE_F13, 0x7C, 0x64),
    Key(SDL_SCANCODE_F14, 0x7D, 0x65),
    Key(SDL_SCANCODE_F15, 0x7E, 0x66),
    Key(SDL_SCANCODE_INTERNATIONAL2, 0x15, 0x70),  // kana
    Key(SDL_SCANCODE_INTERNATIONAL1, 0xC1, 0x73),  // ro, ABNT C1
    Key(SDL_SCANCODE_INTERNATIONAL4, 0x1C, 0x79),  // convert
    Key(SDL_SCANCODE_INTERNATIONAL5, 0x1D, 0x7B),  // no convert
    Key(SDL_SCANCODE_INTERNATIONAL3, 0xDC, 0x7D),  // yen
    Key(SDL_SCANCODE_KP_EQUALS, 0x92, 0x0D, true),
    Key(SDL_SCANCODE_AUDIOPREV, 0xB1, 0x10, true),
    Key(SDL_SCANCODE_AUDIONEXT, 0xB0, 0x19, true),
    Key(SDL_SCANCODE_KP_ENTER, VK_RETURN, 0x1C, true),
    Key(SDL_SCANCODE_RCTRL, VK_CONTROL, 0x1D, true),
    Key(SDL_SCANCODE_MUTE, 0xAD, 0x20, true),
    Key(SDL_SCANCODE_CALCULATOR, 0xB7, 0x21, true),
    Key(SDL_SCANCODE_AUDIOPLAY, 0xB3, 0x22, true),
    Key(SDL_SCANCODE_AUDIOSTOP, 0xB2, 0x24, true),
    Key(SDL_SCANCODE_VOLUMEDOWN, 0xAE, 0x2E, true),
    Key(SDL_SCANCODE_VOLUMEUP, 0xAF, 0x30, true),
    Key(SDL_SCANCODE_AC_HOME, 0xAC, 0x32, true),
    Key(SDL_SCANCODE_KP_COMMA, 0x6C, 0x33, true),
    Key(SDL_SCANCODE_KP_DIVIDE, 0x6F, 0x35, true),
    Key(SDL_SCANCODE_PRINTSCREEN, 0x2C, 0x37, true),
    Key(SDL_SCANCODE_SYSREQ, 0x2C, 0x37, true),  // Alt with Print Screen: the same key
    Key(SDL_SCANCODE_RALT, VK_MENU, 0x38, true),
    {SDL_SCANCODE_PAUSE, VK_PAUSE, 0x45, false, 0xC5},
    Key(SDL_SCANCODE_HOME, VK_HOME, 0x47, true),
    Key(SDL_SCANCODE_UP, VK_UP, 0x48, true),
    Key(SDL_SCANCODE_PAGEUP, VK_PRIOR, 0x49, true),
    Key(SDL_SCANCODE_LEFT, VK_LEFT, 0x4B, true),
    Key(SDL_SCANCODE_RIGHT, VK_RIGHT, 0x4D, true),
    Key(SDL_SCANCODE_END, VK_END, 0x4F, true),
    Key(SDL_SCANCODE_DOWN, VK_DOWN, 0x50, true),
    Key(SDL_SCANCODE_PAGEDOWN, VK_NEXT, 0x51, true),
    Key(SDL_SCANCODE_INSERT, VK_INSERT, 0x52, true),
    Key(SDL_SCANCODE_DELETE, VK_DELETE, 0x53, true),
    Key(SDL_SCANCODE_LGUI, 0x5B, 0x5B, true),
    Key(SDL_SCANCODE_RGUI, 0x5C, 0x5C, true),
    Key(SDL_SCANCODE_APPLICATION, 0x5D, 0x5D, true),
    Key(SDL_SCANCODE_POWER, kNoVirtualKey, 0x5E, true),
    Key(SDL_SCANCODE_SLEEP, 0x5F, 0x5F, true),
    Key(SDL_SCANCODE_AC_SEARCH, 0xAA, 0x65, true),
    Key(SDL_SCANCODE_AC_BOOKMARKS, 0xAB, 0x66, true),
    Key(SDL_SCANCODE_AC_REFRESH, 0xA8, 0x67, true),
    Key(SDL_SCANCODE_AC_STOP, 0xA9, 0x68, true),
    Key(SDL_SCANCODE_AC_FORWARD, 0xA7, 0x69, true),
    Key(SDL_SCANCODE_AC_BACK, 0xA6, 0x6A, true),
    Key(SDL_SCANCODE_COMPUTER, 0xB6, 0x6B, true),
    Key(SDL_SCANCODE_MAIL, 0xB4, 0x6C, true),
    Key(SDL_SCANCODE_MEDIASELECT, 0xB5, 0x6D, true),
};

// Every key event of both services looks its row up, so the rows are indexed by scancode once.
std::array<const KeyRow*, SDL_NUM_SCANCODES> IndexKeys() {
    std::array<const KeyRow*, SDL_NUM_SCANCODES> index = {};
    for (const KeyRow& row : kKeys) index[row.scancode] = &row;
    return index;
}
const std::array<const KeyRow*, SDL_NUM_SCANCODES> kIndex = IndexKeys();

}  // namespace

const KeyRow* KeyFind(SDL_Scancode scancode) {
    return scancode >= 0 && scancode < SDL_NUM_SCANCODES ? kIndex[scancode] : nullptr;
}

// A key that types a letter in the keyboard's layout carries that letter's virtual key, wherever it sits, as on
// Windows; DirectInput's code stays the physical key's.
BYTE KeyVirtualKey(const KeyRow& key, SDL_Keycode layoutKey) {
    if (layoutKey >= 'a' && layoutKey <= 'z') return BYTE(layoutKey - 'a' + 'A');
    return key.virtualKey;
}
