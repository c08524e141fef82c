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

}  // namespace

#define VALUE(x) Value(#x, x)
#define SIZE(t) std::printf("sizeof(%s) = %zu\n", #t, sizeof(t))
#define OFFSET(t, m) std::printf("offsetof(%s, %s) = %zu\n", #t, #m, offsetof(t, m))

int main() {
    // <windows.h>
    VALUE(TRUE);
    VALUE(FALSE);
    VALUE(S_OK);
    VALUE(S_FALSE);
    VALUE(E_NOTIMPL);
    VALUE(E_NOINTERFACE);
    VALUE(E_POINTER);
    VALUE(E_FAIL);
    VALUE(E_OUTOFMEMORY);
    VALUE(E_INVALIDARG);
    VALUE(E_ACCESSDENIED);
    VALUE(CLR_INVALID);
    VALUE(RT_BITMAP);
    VALUE(IDI_APPLICATION);
    VALUE(IDC_ARROW);
    VALUE(CS_VREDRAW);
    VALUE(CS_HREDRAW);
    VALUE(WS_EX_TOPMOST);
    VALUE(WS_OVERLAPPED);
    VALUE(WS_POPUP);
    VALUE(WS_VISIBLE);
    VALUE(WS_CAPTION);
    VALUE(WS_SYSMENU);
    VALUE(WS_THICKFRAME);
    VALUE(WS_MINIMIZEBOX);
    VALUE(WS_MAXIMIZEBOX);
    VALUE(WS_OVERLAPPEDWINDOW);
    VALUE(SW_HIDE);
    VALUE(SW_SHOWNORMAL);
    VALUE(SW_SHOWMINIMIZED);
    VALUE(SW_SHOWMAXIMIZED);
    VALUE(SW_SHOW);
    VALUE(SW_MINIMIZE);
    VALUE(SW_SHOWDEFAULT);
    VALUE(WM_NULL);
    VALUE(WM_CREATE);
    VALUE(WM_DESTROY);
    VALUE(WM_ACTIVATE);
    VALUE(WM_SETFOCUS);
    VALUE(WM_KILLFOCUS);
    VALUE(WM_CLOSE);
    VALUE(WM_QUIT);
    VALUE(WM_SETCURSOR);
    VALUE(WM_KEYDOWN);
    VALUE(WM_KEYUP);
    VALUE(WM_CHAR);
    VALUE(WM_SYSKEYDOWN);
    VALUE(WM_SYSKEYUP);
    VALUE(WM_MOUSEMOVE);
    VALUE(WA_INACTIVE);
    VALUE(WA_ACTIVE);
    VALUE(WA_CLICKACTIVE);
    VALUE(HTCLIENT);
    VALUE(PM_NOREMOVE);
    VALUE(PM_REMOVE);
    VALUE(MB_OK);
    VALUE(MB_ICONERROR);
    VALUE(IDOK);
    VALUE(VK_BACK);
    VALUE(VK_TAB);
    VALUE(VK_RETURN);
    VALUE(VK_SHIFT);
    VALUE(VK_CONTROL);
    VALUE(VK_MENU);
    VALUE(VK_PAUSE);
    VALUE(VK_CAPITAL);
    VALUE(VK_ESCAPE);
    VALUE(VK_SPACE);
    VALUE(VK_PRIOR);
    VALUE(VK_NEXT);
    VALUE(VK_END);
    VALUE(VK_HOME);
    VALUE(VK_LEFT);
    VALUE(VK_UP);
    VALUE(VK_RIGHT);
    VALUE(VK_DOWN);
    VALUE(VK_INSERT);
    VALUE(VK_DELETE);
    VALUE(VK_F1);
    VALUE(VK_F12);
    VALUE(WHITE_BRUSH);
    VALUE(BLACK_BRUSH);
    VALUE(SRCCOPY);
    VALUE(TRANSPARENT);
    VALUE(OPAQUE);
    VALUE(FW_NORMAL);
    VALUE(ANSI_CHARSET);
    VALUE(DEFAULT_CHARSET);
    VALUE(SHIFTJIS_CHARSET);
    VALUE(LF_FACESIZE);
    VALUE(BI_RGB);
    VALUE(DIB_RGB_COLORS);
    VALUE(IMAGE_BITMAP);
    VALUE(LR_DEFAULTCOLOR);
    VALUE(LR_LOADFROMFILE);
    VALUE(LR_CREATEDIBSECTION);
    VALUE(OF_READ);
    VALUE(HFILE_ERROR);
    // <ddraw.h>
    VALUE(DD_OK);
    VALUE(DDERR_GENERIC);
    VALUE(DDERR_INVALIDPARAMS);
    VALUE(DDERR_OUTOFMEMORY);
    VALUE(DDERR_UNSUPPORTED);
    VALUE(DDERR_INVALIDCAPS);
    VALUE(DDERR_INVALIDMODE);
    VALUE(DDERR_INVALIDOBJECT);
    VALUE(DDERR_INVALIDRECT);
    VALUE(DDERR_NOCOOPERATIVELEVELSET);
    VALUE(DDERR_NOEXCLUSIVEMODE);
    VALUE(DDERR_NOTFOUND);
    VALUE(DDERR_SURFACEBUSY);
    VALUE(DDERR_SURFACELOST);
    VALUE(DDERR_WASSTILLDRAWING);
    VALUE(DDERR_NOTFLIPPABLE);
    VALUE(DDERR_NOTLOCKED);
    VALUE(DDERR_CANTCREATEDC);
    VALUE(DDERR_DCALREADYCREATED);
    VALUE(DDERR_WRONGMODE);
    VALUE(DDERR_NOCOLORKEY);
    VALUE(DDERR_PRIMARYSURFACEALREADYEXISTS);
    VALUE(DDERR_NOPALETTEATTACHED);
    VALUE(DDERR_NODC);
    VALUE(DDSCL_FULLSCREEN);
    VALUE(DDSCL_ALLOWREBOOT);
    VALUE(DDSCL_NORMAL);
    VALUE(DDSCL_EXCLUSIVE);
    VALUE(DDSD_CAPS);
    VALUE(DDSD_HEIGHT);
    VALUE(DDSD_WIDTH);
    VALUE(DDSD_PITCH);
    VALUE(DDSD_BACKBUFFERCOUNT);
    VALUE(DDSD_LPSURFACE);
    VALUE(DDSD_PIXELFORMAT);
    VALUE(DDSCAPS_BACKBUFFER);
    VALUE(DDSCAPS_COMPLEX);
    VALUE(DDSCAPS_FLIP);
    VALUE(DDSCAPS_FRONTBUFFER);
    VALUE(DDSCAPS_OFFSCREENPLAIN);
    VALUE(DDSCAPS_PALETTE);
    VALUE(DDSCAPS_PRIMARYSURFACE);
    VALUE(DDSCAPS_SYSTEMMEMORY);
    VALUE(DDSCAPS_VIDEOMEMORY);
    VALUE(DDPF_PALETTEINDEXED8);
    VALUE(DDPF_RGB);
    VALUE(DDPCAPS_8BIT);
    VALUE(DDPCAPS_ALLOW256);
    VALUE(DDBLTFAST_NOCOLORKEY);
    VALUE(DDBLTFAST_SRCCOLORKEY);
    VALUE(DDBLTFAST_DESTCOLORKEY);
    VALUE(DDBLTFAST_WAIT);
    VALUE(DDBLT_COLORFILL);
    VALUE(DDBLT_WAIT);
    VALUE(DDFLIP_WAIT);
    VALUE(DDLOCK_WAIT);
    VALUE(DDCKEY_SRCBLT);
    VALUE(DDCKEY_COLORSPACE);
    VALUE(DDCKEY_DESTBLT);
    VALUE(DDSD_CKSRCBLT);
    // <dinput.h>
    VALUE(DIRECTINPUT_VERSION);
    VALUE(DI_OK);
    VALUE(DI_NOEFFECT);
    VALUE(DI_POLLEDDEVICE);
    VALUE(DIERR_GENERIC);
    VALUE(DIERR_INVALIDPARAM);
    VALUE(DIERR_UNSUPPORTED);
    VALUE(DIERR_NOINTERFACE);
    VALUE(DIERR_OUTOFMEMORY);
    VALUE(DIERR_OTHERAPPHASPRIO);
    VALUE(DIERR_OBJECTNOTFOUND);
    VALUE(DIERR_NOTACQUIRED);
    VALUE(DIERR_NOTINITIALIZED);
    VALUE(DIERR_INPUTLOST);
    VALUE(DIERR_ACQUIRED);
    VALUE(DIERR_DEVICENOTREG);
    VALUE(DIENUM_STOP);
    VALUE(DIENUM_CONTINUE);
    VALUE(DIDEVTYPE_DEVICE);
    VALUE(DIDEVTYPE_MOUSE);
    VALUE(DIDEVTYPE_KEYBOARD);
    VALUE(DIDEVTYPE_JOYSTICK);
    VALUE(DIEDFL_ALLDEVICES);
    VALUE(DIEDFL_ATTACHEDONLY);
    VALUE(DISCL_EXCLUSIVE);
    VALUE(DISCL_NONEXCLUSIVE);
    VALUE(DISCL_FOREGROUND);
    VALUE(DISCL_BACKGROUND);
    VALUE(DIPH_DEVICE);
    VALUE(DIPH_BYOFFSET);
    VALUE(DIPROPAXISMODE_ABS);
    VALUE(DIPROPAXISMODE_REL);
    VALUE(DIK_ESCAPE);
    VALUE(DIK_SPACE);
    VALUE(DIK_F12);
    VALUE(DIK_UP);
    VALUE(DIK_LEFT);
    VALUE(DIK_RIGHT);
    VALUE(DIK_DOWN);
    VALUE(DIJOFS_X);
    VALUE(DIJOFS_Y);

    // Macros with arguments, on values that tell a wrong definition.
    VALUE(MAKE_DDHRESULT(450));
    VALUE(RGB(0x12, 0x34, 0x56));
    VALUE(GetRValue(0x00563412));
    VALUE(GetGValue(0x00563412));
    VALUE(GetBValue(0x00563412));
    VALUE(LOWORD(0x12345678));
    VALUE(HIWORD(0x12345678));
    VALUE(MAKELONG(0x5678, 0x1234));
    VALUE(SUCCEEDED(DDERR_SURFACELOST));
    VALUE(FAILED(DDERR_SURFACELOST));
    VALUE(SUCCEEDED(S_FALSE));
    VALUE(MAKEINTRESOURCEA(7));
    VALUE(IS_INTRESOURCE(MAKEINTRESOURCEA(7)));

    SIZE(GUID);
    OFFSET(GUID, Data1);
    OFFSET(GUID, Data2);
    OFFSET(GUID, Data3);
    OFFSET(GUID, Data4);
    SIZE(RECT);
    OFFSET(RECT, left);
    OFFSET(RECT, top);
    OFFSET(RECT, right);
    OFFSET(RECT, bottom);
    SIZE(POINT);
    OFFSET(POINT, x);
    OFFSET(POINT, y);
    SIZE(MSG);
    OFFSET(MSG, hwnd);
    OFFSET(MSG, message);
    OFFSET(MSG, wParam);
    OFFSET(MSG, lParam);
    OFFSET(MSG, time);
    OFFSET(MSG, pt);
    SIZE(WNDCLASSA);
    OFFSET(WNDCLASSA, style);
    OFFSET(WNDCLASSA, lpfnWndProc);
    OFFSET(WNDCLASSA, cbClsExtra);
    OFFSET(WNDCLASSA, cbWndExtra);
    OFFSET(WNDCLASSA, hInstance);
    OFFSET(WNDCLASSA, hIcon);
    OFFSET(WNDCLASSA, hCursor);
    OFFSET(WNDCLASSA, hbrBackground);
    OFFSET(WNDCLASSA, lpszMenuName);
    OFFSET(WNDCLASSA, lpszClassName);
    SIZE(LOGFONTA);
    OFFSET(LOGFONTA, lfHeight);
    OFFSET(LOGFONTA, lfWidth);
    OFFSET(LOGFONTA, lfEscapement);
    OFFSET(LOGFONTA, lfOrientation);
    OFFSET(LOGFONTA, lfWeight);
    OFFSET(LOGFONTA, lfItalic);
    OFFSET(LOGFONTA, lfUnderline);
    OFFSET(LOGFONTA, lfStrikeOut);
    OFFSET(LOGFONTA, lfCharSet);
    OFFSET(LOGFONTA, lfOutPrecision);
    OFFSET(LOGFONTA, lfClipPrecision);
    OFFSET(LOGFONTA, lfQuality);
    OFFSET(LOGFONTA, lfPitchAndFamily);
    OFFSET(LOGFONTA, lfFaceName);
    SIZE(BITMAP);
    OFFSET(BITMAP, bmType);
    OFFSET(BITMAP, bmWidth);
    OFFSET(BITMAP, bmHeight);
    OFFSET(BITMAP, bmWidthBytes);
    OFFSET(BITMAP, bmPlanes);
    OFFSET(BITMAP, bmBitsPixel);
    OFFSET(BITMAP, bmBits);
    SIZE(BITMAPFILEHEADER);
    OFFSET(BITMAPFILEHEADER, bfType);
    OFFSET(BITMAPFILEHEADER, bfSize);
    OFFSET(BITMAPFILEHEADER, bfReserved1);
    OFFSET(BITMAPFILEHEADER, bfReserved2);
    OFFSET(BITMAPFILEHEADER, bfOffBits);
    SIZE(BITMAPINFOHEADER);
    OFFSET(BITMAPINFOHEADER, biSize);
    OFFSET(BITMAPINFOHEADER, biWidth);
    OFFSET(BITMAPINFOHEADER, biHeight);
    OFFSET(BITMAPINFOHEADER, biPlanes);
    OFFSET(BITMAPINFOHEADER, biBitCount);
    OFFSET(BITMAPINFOHEADER, biCompression);
    OFFSET(BITMAPINFOHEADER, biSizeImage);
    OFFSET(BITMAPINFOHEADER, biXPelsPerMeter);
    OFFSET(BITMAPINFOHEADER, biYPelsPerMeter);
    OFFSET(BITMAPINFOHEADER, biClrUsed);
    OFFSET(BITMAPINFOHEADER, biClrImportant);
    SIZE(RGBQUAD);
    OFFSET(RGBQUAD, rgbBlue);
    OFFSET(RGBQUAD, rgbGreen);
    OFFSET(RGBQUAD, rgbRed);
    OFFSET(RGBQUAD, rgbReserved);
    SIZE(PALETTEENTRY);
    OFFSET(PALETTEENTRY, peRed);
    OFFSET(PALETTEENTRY, peGreen);
    OFFSET(PALETTEENTRY, peBlue);
    OFFSET(PALETTEENTRY, peFlags);
    SIZE(DDCOLORKEY);
    OFFSET(DDCOLORKEY, dwColorSpaceLowValue);
    OFFSET(DDCOLORKEY, dwColorSpaceHighValue);
    SIZE(DDSCAPS2);
    OFFSET(DDSCAPS2, dwCaps);
    OFFSET(DDSCAPS2, dwCaps2);
    OFFSET(DDSCAPS2, dwCaps3);
    OFFSET(DDSCAPS2, dwCaps4);
    SIZE(DDPIXELFORMAT);
    OFFSET(DDPIXELFORMAT, dwSize);
    OFFSET(DDPIXELFORMAT, dwFlags);
    OFFSET(DDPIXELFORMAT, dwFourCC);
    OFFSET(DDPIXELFORMAT, dwRGBBitCount);
    OFFSET(DDPIXELFORMAT, dwRBitMask);
    OFFSET(DDPIXELFORMAT, dwGBitMask);
    OFFSET(DDPIXELFORMAT, dwBBitMask);
    OFFSET(DDPIXELFORMAT, dwRGBAlphaBitMask);
    SIZE(DDSURFACEDESC2);
    OFFSET(DDSURFACEDESC2, dwSize);
    OFFSET(DDSURFACEDESC2, dwFlags);
    OFFSET(DDSURFACEDESC2, dwHeight);
    OFFSET(DDSURFACEDESC2, dwWidth);
    OFFSET(DDSURFACEDESC2, lPitch);
    OFFSET(DDSURFACEDESC2, dwBackBufferCount);
    OFFSET(DDSURFACEDESC2, dwRefreshRate);
    OFFSET(DDSURFACEDESC2, dwAlphaBitDepth);
    OFFSET(DDSURFACEDESC2, dwReserved);
    OFFSET(DDSURFACEDESC2, lpSurface);
    OFFSET(DDSURFACEDESC2, ddckCKDestOverlay);
    OFFSET(DDSURFACEDESC2, ddckCKDestBlt);
    OFFSET(DDSURFACEDESC2, ddckCKSrcOverlay);
    OFFSET(DDSURFACEDESC2, ddckCKSrcBlt);
    OFFSET(DDSURFACEDESC2, ddpfPixelFormat);
    OFFSET(DDSURFACEDESC2, ddsCaps);
    OFFSET(DDSURFACEDESC2, dwTextureStage);
    SIZE(DDBLTFX);
    OFFSET(DDBLTFX, dwSize);
    OFFSET(DDBLTFX, dwDDFX);
    OFFSET(DDBLTFX, dwROP);
    OFFSET(DDBLTFX, dwDDROP);
    OFFSET(DDBLTFX, dwRotationAngle);
    OFFSET(DDBLTFX, dwZBufferOpCode);
    OFFSET(DDBLTFX, dwZBufferLow);
    OFFSET(DDBLTFX, dwZBufferHigh);
    OFFSET(DDBLTFX, dwZBufferBaseDest);
    OFFSET(DDBLTFX, dwZDestConstBitDepth);
    OFFSET(DDBLTFX, dwZDestConst);
    OFFSET(DDBLTFX, dwZSrcConstBitDepth);
    OFFSET(DDBLTFX, dwZSrcConst);
    OFFSET(DDBLTFX, dwAlphaEdgeBlendBitDepth);
    OFFSET(DDBLTFX, dwAlphaEdgeBlend);
    OFFSET(DDBLTFX, dwReserved);
    OFFSET(DDBLTFX, dwAlphaDestConstBitDepth);
    OFFSET(DDBLTFX, dwAlphaDestConst);
    OFFSET(DDBLTFX, dwAlphaSrcConstBitDepth);
    OFFSET(DDBLTFX, dwAlphaSrcConst);
    OFFSET(DDBLTFX, dwFillColor);
    OFFSET(DDBLTFX, ddckDestColorkey);
    OFFSET(DDBLTFX, ddckSrcColorkey);
    SIZE(DIOBJECTDATAFORMAT);
    OFFSET(DIOBJECTDATAFORMAT, pguid);
    OFFSET(DIOBJECTDATAFORMAT, dwOfs);
    OFFSET(DIOBJECTDATAFORMAT, dwType);
    OFFSET(DIOBJECTDATAFORMAT, dwFlags);
    SIZE(DIDATAFORMAT);
    OFFSET(DIDATAFORMAT, dwSize);
    OFFSET(DIDATAFORMAT, dwObjSize);
    OFFSET(DIDATAFORMAT, dwFlags);
    OFFSET(DIDATAFORMAT, dwDataSize);
    OFFSET(DIDATAFORMAT, dwNumObjs);
    OFFSET(DIDATAFORMAT, rgodf);
    SIZE(DIPROPHEADER);
    OFFSET(DIPROPHEADER, dwSize);
    OFFSET(DIPROPHEADER, dwHeaderSize);
    OFFSET(DIPROPHEADER, dwObj);
    OFFSET(DIPROPHEADER, dwHow);
    SIZE(DIPROPDWORD);
    OFFSET(DIPROPDWORD, diph);
    OFFSET(DIPROPDWORD, dwData);
    SIZE(DIPROPRANGE);
    OFFSET(DIPROPRANGE, diph);
    OFFSET(DIPROPRANGE, lMin);
    OFFSET(DIPROPRANGE, lMax);
    SIZE(DIMOUSESTATE);
    OFFSET(DIMOUSESTATE, lX);
    OFFSET(DIMOUSESTATE, lY);
    OFFSET(DIMOUSESTATE, lZ);
    OFFSET(DIMOUSESTATE, rgbButtons);
    SIZE(DIJOYSTATE);
    OFFSET(DIJOYSTATE, lX);
    OFFSET(DIJOYSTATE, lY);
    OFFSET(DIJOYSTATE, lZ);
    OFFSET(DIJOYSTATE, lRx);
    OFFSET(DIJOYSTATE, lRy);
    OFFSET(DIJOYSTATE, lRz);
    OFFSET(DIJOYSTATE, rglSlider);
    OFFSET(DIJOYSTATE, rgdwPOV);
    OFFSET(DIJOYSTATE, rgbButtons);
    SIZE(DIDEVICEINSTANCEA);
    OFFSET(DIDEVICEINSTANCEA, dwSize);
    OFFSET(DIDEVICEINSTANCEA, guidInstance);
    OFFSET(DIDEVICEINSTANCEA, guidProduct);
    OFFSET(DIDEVICEINSTANCEA, dwDevType);
    OFFSET(DIDEVICEINSTANCEA, tszInstanceName);
    OFFSET(DIDEVICEINSTANCEA, tszProductName);
    OFFSET(DIDEVICEINSTANCEA, guidFFDriver);
    OFFSET(DIDEVICEINSTANCEA, wUsagePage);
    OFFSET(DIDEVICEINSTANCEA, wUsage);

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
