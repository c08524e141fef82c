// Prints every value the program and our Windows headers share with the real SDK, one line each: constants,
// structure sizes and member offsets, interface and device identifiers, and DirectInput's predefined data formats.
// Built twice, against our Linux headers and with mingw-w64 against the real ones; the Windows check compares the
// two outputs line for line.
#include <windows.h>
#include <mmsystem.h>
#include <ddraw.h>
#define DIRECTINPUT_VERSION 0x0700
#include <dinput.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <type_traits>

namespace {

// Integers are printed as the 32 bits they occupy (HRESULTs and DWORDs alike), pointers as their address.
template <class T>
void Value(const char* name, T value) {
    if constexpr (std::is_pointer_v<T>) {
        std::printf("%s = address %llu\n", name, static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(value)));
    } else if constexpr (sizeof(T) <= 4) {
        std::printf("%s = %lu\n", name, static_cast<unsigned long>(static_cast<uint32_t>(value)));
    } else {
        std::printf("%s = %llu\n", name, static_cast<unsigned long long>(value));
    }
}

void Guid(const char* name, const GUID& guid) {
    std::printf("%s = {%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}\n", name,
                static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
}

// The predefined formats are data in the SDK's library on Windows and in our layer on Linux.
void Format(const char* name, const DIDATAFORMAT& format) {
    std::printf("%s = size %lu, object size %lu, flags %lu, data size %lu, %lu objects\n", name,
                static_cast<unsigned long>(format.dwSize), static_cast<unsigned long>(format.dwObjSize),
                static_cast<unsigned long>(format.dwFlags), static_cast<unsigned long>(format.dwDataSize),
                static_cast<unsigned long>(format.dwNumObjs));
    for (DWORD i = 0; i < format.dwNumObjs; ++i) {
        const DIOBJECTDATAFORMAT& object = format.rgodf[i];
        char label[64];
        std::snprintf(label, sizeof(label), "%s[%lu]", name, static_cast<unsigned long>(i));
        if (object.pguid) {
            Guid(label, *object.pguid);
        } else {
            std::printf("%s = any object\n", label);
        }
        std::printf("%s = offset %lu, type %lu, flags %lu\n", label, static_cast<unsigned long>(object.dwOfs),
                    static_cast<unsigned long>(object.dwType), static_cast<unsigned long>(object.dwFlags));
    }
}

// A list of names is printed name by name, each with its value; the names come from the list as written.
template <class... T>
void Values(const char* names, T... values) {
    const char* at = names;
    auto next = [&at] {
        while (*at == ' ' || *at == ',') ++at;
        const char* end = at;
        while (*end != '\0' && *end != ',') ++end;
        std::string name(at, end);
        at = end;
        return name;
    };
    (Value(next().c_str(), values), ...);
}

// A structure's size, then each member's offset in the order listed.
void Members(const char* type, size_t size, const char* members, std::initializer_list<size_t> offsets) {
    std::printf("sizeof(%s) = %zu\n", type, size);
    const char* at = members;
    for (size_t offset : offsets) {
        while (*at == ' ' || *at == ',') ++at;
        const char* end = at;
        while (*end != '\0' && *end != ',') ++end;
        std::printf("offsetof(%s, %.*s) = %zu\n", type, int(end - at), at, offset);
        at = end;
    }
}

}  // namespace

// FOR_EACH(m, t, a, b, ...) is m(t, a) m(t, b) ...: C++20's __VA_OPT__ and enough rescans for 64 members.
#define PARENS ()
#define EXPAND(...) EXPAND3(EXPAND3(EXPAND3(EXPAND3(__VA_ARGS__))))
#define EXPAND3(...) EXPAND2(EXPAND2(EXPAND2(EXPAND2(__VA_ARGS__))))
#define EXPAND2(...) EXPAND1(EXPAND1(EXPAND1(EXPAND1(__VA_ARGS__))))
#define EXPAND1(...) __VA_ARGS__
#define FOR_EACH(m, t, ...) __VA_OPT__(EXPAND(FOR_EACH_NEXT(m, t, __VA_ARGS__)))
#define FOR_EACH_NEXT(m, t, a, ...) m(t, a) __VA_OPT__(FOR_EACH_AGAIN PARENS(m, t, __VA_ARGS__))
#define FOR_EACH_AGAIN() FOR_EACH_NEXT

#define VALUE(x) Value(#x, x)
#define VALUES(...) Values(#__VA_ARGS__, __VA_ARGS__)
#define OFFSET_OF(t, m) offsetof(t, m),
#define STRUCT(t, ...) Members(#t, sizeof(t), #__VA_ARGS__, {FOR_EACH(OFFSET_OF, t, __VA_ARGS__)})

int main() {
    // <windows.h>
    VALUES(TRUE, FALSE, S_OK, S_FALSE, E_NOTIMPL, E_NOINTERFACE, E_POINTER, E_FAIL, E_OUTOFMEMORY, E_INVALIDARG,
           E_ACCESSDENIED, CLR_INVALID, RT_BITMAP, IDI_APPLICATION, IDC_ARROW, CS_VREDRAW, CS_HREDRAW, WS_EX_TOPMOST,
           WS_OVERLAPPED, WS_POPUP, WS_VISIBLE, WS_CAPTION, WS_SYSMENU, WS_THICKFRAME, WS_MINIMIZEBOX, WS_MAXIMIZEBOX,
           WS_OVERLAPPEDWINDOW, SW_HIDE, SW_SHOWNORMAL, SW_SHOWMINIMIZED, SW_SHOWMAXIMIZED, SW_SHOW, SW_MINIMIZE,
           SW_SHOWDEFAULT, WM_NULL, WM_CREATE, WM_DESTROY, WM_ACTIVATE, WM_SETFOCUS, WM_KILLFOCUS, WM_CLOSE, WM_QUIT,
           WM_SETCURSOR, WM_KEYDOWN, WM_KEYUP, WM_CHAR, WM_SYSKEYDOWN, WM_SYSKEYUP, WM_MOUSEMOVE, WA_INACTIVE,
           WA_ACTIVE, WA_CLICKACTIVE, HTCLIENT, PM_NOREMOVE, PM_REMOVE, MB_OK, MB_ICONERROR, IDOK, VK_BACK, VK_TAB,
           VK_RETURN, VK_SHIFT, VK_CONTROL, VK_MENU, VK_PAUSE, VK_CAPITAL, VK_ESCAPE, VK_SPACE, VK_PRIOR, VK_NEXT,
           VK_END, VK_HOME, VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, VK_INSERT, VK_DELETE, VK_F1, VK_F12, WHITE_BRUSH,
           BLACK_BRUSH, SRCCOPY, TRANSPARENT, OPAQUE, FW_NORMAL, ANSI_CHARSET, DEFAULT_CHARSET, SHIFTJIS_CHARSET,
           LF_FACESIZE, BI_RGB, DIB_RGB_COLORS, IMAGE_BITMAP, LR_DEFAULTCOLOR, LR_LOADFROMFILE, LR_CREATEDIBSECTION,
           OF_READ, HFILE_ERROR);
    // <ddraw.h>
    VALUES(DD_OK, DDERR_GENERIC, DDERR_INVALIDPARAMS, DDERR_OUTOFMEMORY, DDERR_UNSUPPORTED, DDERR_INVALIDCAPS,
           DDERR_INVALIDMODE, DDERR_INVALIDOBJECT, DDERR_INVALIDRECT, DDERR_NOCOOPERATIVELEVELSET,
           DDERR_NOEXCLUSIVEMODE, DDERR_NOTFOUND, DDERR_SURFACEBUSY, DDERR_SURFACELOST, DDERR_WASSTILLDRAWING,
           DDERR_NOTFLIPPABLE, DDERR_NOTLOCKED, DDERR_CANTCREATEDC, DDERR_DCALREADYCREATED, DDERR_WRONGMODE,
           DDERR_NOCOLORKEY, DDERR_PRIMARYSURFACEALREADYEXISTS, DDERR_NOPALETTEATTACHED, DDERR_NODC, DDSCL_FULLSCREEN,
           DDSCL_ALLOWREBOOT, DDSCL_NORMAL, DDSCL_EXCLUSIVE, DDSD_CAPS, DDSD_HEIGHT, DDSD_WIDTH, DDSD_PITCH,
           DDSD_BACKBUFFERCOUNT, DDSD_LPSURFACE, DDSD_PIXELFORMAT, DDSCAPS_BACKBUFFER, DDSCAPS_COMPLEX, DDSCAPS_FLIP,
           DDSCAPS_FRONTBUFFER, DDSCAPS_OFFSCREENPLAIN, DDSCAPS_PALETTE, DDSCAPS_PRIMARYSURFACE, DDSCAPS_SYSTEMMEMORY,
           DDSCAPS_VIDEOMEMORY, DDPF_PALETTEINDEXED8, DDPF_RGB, DDPCAPS_8BIT, DDPCAPS_ALLOW256, DDBLTFAST_NOCOLORKEY,
           DDBLTFAST_SRCCOLORKEY, DDBLTFAST_DESTCOLORKEY, DDBLTFAST_WAIT, DDBLT_COLORFILL, DDBLT_WAIT, DDFLIP_WAIT,
           DDLOCK_WAIT, DDCKEY_SRCBLT, DDCKEY_COLORSPACE, DDCKEY_DESTBLT, DDSD_CKSRCBLT);
    // <dinput.h>
    VALUES(DIRECTINPUT_VERSION, DI_OK, DI_NOEFFECT, DI_POLLEDDEVICE, DIERR_GENERIC, DIERR_INVALIDPARAM,
           DIERR_UNSUPPORTED, DIERR_NOINTERFACE, DIERR_OUTOFMEMORY, DIERR_OTHERAPPHASPRIO, DIERR_OBJECTNOTFOUND,
           DIERR_NOTACQUIRED, DIERR_NOTINITIALIZED, DIERR_INPUTLOST, DIERR_ACQUIRED, DIERR_DEVICENOTREG, DIENUM_STOP,
           DIENUM_CONTINUE, DIDEVTYPE_DEVICE, DIDEVTYPE_MOUSE, DIDEVTYPE_KEYBOARD, DIDEVTYPE_JOYSTICK,
           DIEDFL_ALLDEVICES, DIEDFL_ATTACHEDONLY, DISCL_EXCLUSIVE, DISCL_NONEXCLUSIVE, DISCL_FOREGROUND,
           DISCL_BACKGROUND, DIPH_DEVICE, DIPH_BYOFFSET, DIPROPAXISMODE_ABS, DIPROPAXISMODE_REL, DIK_ESCAPE, DIK_SPACE,
           DIK_F12, DIK_UP, DIK_LEFT, DIK_RIGHT, DIK_DOWN, DIJOFS_X, DIJOFS_Y);

    // Macros with arguments, on values that tell a wrong definition.
    VALUES(MAKE_DDHRESULT(450));
    VALUE(RGB(0x12, 0x34, 0x56));
    VALUES(GetRValue(0x00563412), GetGValue(0x00563412), GetBValue(0x00563412), LOWORD(0x12345678), HIWORD(0x12345678));
    VALUE(MAKELONG(0x5678, 0x1234));
    VALUES(SUCCEEDED(DDERR_SURFACELOST), FAILED(DDERR_SURFACELOST), SUCCEEDED(S_FALSE), MAKEINTRESOURCEA(7),
           IS_INTRESOURCE(MAKEINTRESOURCEA(7)));

    STRUCT(GUID, Data1, Data2, Data3, Data4);
    STRUCT(RECT, left, top, right, bottom);
    STRUCT(POINT, x, y);
    STRUCT(MSG, hwnd, message, wParam, lParam, time, pt);
    STRUCT(WNDCLASSA, style, lpfnWndProc, cbClsExtra, cbWndExtra, hInstance, hIcon, hCursor, hbrBackground,
           lpszMenuName, lpszClassName);
    STRUCT(LOGFONTA, lfHeight, lfWidth, lfEscapement, lfOrientation, lfWeight, lfItalic, lfUnderline, lfStrikeOut,
           lfCharSet, lfOutPrecision, lfClipPrecision, lfQuality, lfPitchAndFamily, lfFaceName);
    STRUCT(BITMAP, bmType, bmWidth, bmHeight, bmWidthBytes, bmPlanes, bmBitsPixel, bmBits);
    STRUCT(BITMAPFILEHEADER, bfType, bfSize, bfReserved1, bfReserved2, bfOffBits);
    STRUCT(BITMAPINFOHEADER, biSize, biWidth, biHeight, biPlanes, biBitCount, biCompression, biSizeImage,
           biXPelsPerMeter, biYPelsPerMeter, biClrUsed, biClrImportant);
    STRUCT(RGBQUAD, rgbBlue, rgbGreen, rgbRed, rgbReserved);
    STRUCT(PALETTEENTRY, peRed, peGreen, peBlue, peFlags);
    STRUCT(DDCOLORKEY, dwColorSpaceLowValue, dwColorSpaceHighValue);
    STRUCT(DDSCAPS2, dwCaps, dwCaps2, dwCaps3, dwCaps4);
    STRUCT(DDPIXELFORMAT, dwSize, dwFlags, dwFourCC, dwRGBBitCount, dwRBitMask, dwGBitMask, dwBBitMask,
           dwRGBAlphaBitMask);
    STRUCT(DDSURFACEDESC2, dwSize, dwFlags, dwHeight, dwWidth, lPitch, dwBackBufferCount, dwRefreshRate,
           dwAlphaBitDepth, dwReserved, lpSurface, ddckCKDestOverlay, ddckCKDestBlt, ddckCKSrcOverlay, ddckCKSrcBlt,
           ddpfPixelFormat, ddsCaps, dwTextureStage);
    STRUCT(DDBLTFX, dwSize, dwDDFX, dwROP, dwDDROP, dwRotationAngle, dwZBufferOpCode, dwZBufferLow, dwZBufferHigh,
           dwZBufferBaseDest, dwZDestConstBitDepth, dwZDestConst, dwZSrcConstBitDepth, dwZSrcConst,
           dwAlphaEdgeBlendBitDepth, dwAlphaEdgeBlend, dwReserved, dwAlphaDestConstBitDepth, dwAlphaDestConst,
           dwAlphaSrcConstBitDepth, dwAlphaSrcConst, dwFillColor, ddckDestColorkey, ddckSrcColorkey);
    STRUCT(DIOBJECTDATAFORMAT, pguid, dwOfs, dwType, dwFlags);
    STRUCT(DIDATAFORMAT, dwSize, dwObjSize, dwFlags, dwDataSize, dwNumObjs, rgodf);
    STRUCT(DIPROPHEADER, dwSize, dwHeaderSize, dwObj, dwHow);
    STRUCT(DIPROPDWORD, diph, dwData);
    STRUCT(DIPROPRANGE, diph, lMin, lMax);
    STRUCT(DIMOUSESTATE, lX, lY, lZ, rgbButtons);
    STRUCT(DIJOYSTATE, lX, lY, lZ, lRx, lRy, lRz, rglSlider, rgdwPOV, rgbButtons);
    STRUCT(DIDEVICEINSTANCEA, dwSize, guidInstance, guidProduct, dwDevType, tszInstanceName, tszProductName,
           guidFFDriver, wUsagePage, wUsage);

    Guid("IID_IDirectDraw7", IID_IDirectDraw7);
    Guid("IID_IDirectInput7A", IID_IDirectInput7A);
    Guid("IID_IDirectInputDevice7A", IID_IDirectInputDevice7A);
    Guid("GUID_SysKeyboard", GUID_SysKeyboard);
    Guid("GUID_SysMouse", GUID_SysMouse);
    // DIPROP_RANGE, DIPROP_DEADZONE and DIPROP_AXISMODE are small integers posing as GUID addresses in the SDK;
    // our layer gives them GUIDs of its own, so only their use, not their value, is shared.

    Format("c_dfDIKeyboard", c_dfDIKeyboard);
    Format("c_dfDIMouse", c_dfDIMouse);
    Format("c_dfDIJoystick", c_dfDIJoystick);
    return 0;
}
