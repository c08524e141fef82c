// The DirectInput 7 interfaces the program uses, for systems without the Windows SDK.
#pragma once

#include <windows.h>

#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0700
#endif

struct IDirectInput7A;
struct IDirectInputDevice7A;
typedef IDirectInput7A* LPDIRECTINPUT7A;
typedef IDirectInputDevice7A* LPDIRECTINPUTDEVICE7A;

#define DI_OK S_OK
#define DI_NOEFFECT S_FALSE
#define DI_POLLEDDEVICE ((HRESULT)2)
#define DIERR_GENERIC E_FAIL
#define DIERR_INVALIDPARAM E_INVALIDARG
#define DIERR_UNSUPPORTED E_NOTIMPL
#define DIERR_NOINTERFACE E_NOINTERFACE
#define DIERR_OUTOFMEMORY E_OUTOFMEMORY
#define DIERR_OTHERAPPHASPRIO E_ACCESSDENIED
#define DIERR_OBJECTNOTFOUND ((HRESULT)0x80070002)
#define DIERR_NOTACQUIRED ((HRESULT)0x8007000C)
#define DIERR_NOTINITIALIZED ((HRESULT)0x80070015)
#define DIERR_INPUTLOST ((HRESULT)0x8007001E)
#define DIERR_ACQUIRED ((HRESULT)0x800700AA)
#define DIERR_DEVICENOTREG ((HRESULT)0x80040154)

#define DIENUM_STOP 0
#define DIENUM_CONTINUE 1
#define DIDEVTYPE_DEVICE 1
#define DIDEVTYPE_MOUSE 2
#define DIDEVTYPE_KEYBOARD 3
#define DIDEVTYPE_JOYSTICK 4
#define DIEDFL_ALLDEVICES 0x00000000
#define DIEDFL_ATTACHEDONLY 0x00000001

#define DISCL_EXCLUSIVE 0x00000001
#define DISCL_NONEXCLUSIVE 0x00000002
#define DISCL_FOREGROUND 0x00000004
#define DISCL_BACKGROUND 0x00000008

#define DIPH_DEVICE 0
#define DIPH_BYOFFSET 1
#define DIPROPAXISMODE_ABS 0
#define DIPROPAXISMODE_REL 1

#define DIK_ESCAPE 0x01
#define DIK_SPACE 0x39
#define DIK_F12 0x58
#define DIK_UP 0xC8
#define DIK_LEFT 0xCB
#define DIK_RIGHT 0xCD
#define DIK_DOWN 0xD0

extern const GUID IID_IDirectInput7A;
extern const GUID IID_IDirectInputDevice7A;
extern const GUID GUID_SysKeyboard;
extern const GUID GUID_SysMouse;
extern const GUID DIPROP_RANGE;
extern const GUID DIPROP_DEADZONE;
extern const GUID DIPROP_AXISMODE;

struct DIOBJECTDATAFORMAT {
    const GUID* pguid;
    DWORD dwOfs;
    DWORD dwType;
    DWORD dwFlags;
};

struct DIDATAFORMAT {
    DWORD dwSize;
    DWORD dwObjSize;
    DWORD dwFlags;
    DWORD dwDataSize;
    DWORD dwNumObjs;
    const DIOBJECTDATAFORMAT* rgodf;
};
typedef const DIDATAFORMAT* LPCDIDATAFORMAT;

extern const DIDATAFORMAT c_dfDIKeyboard;
extern const DIDATAFORMAT c_dfDIMouse;
extern const DIDATAFORMAT c_dfDIJoystick;

struct DIPROPHEADER {
    DWORD dwSize;
    DWORD dwHeaderSize;
    DWORD dwObj;
    DWORD dwHow;
};
typedef const DIPROPHEADER* LPCDIPROPHEADER;

struct DIPROPDWORD {
    DIPROPHEADER diph;
    DWORD dwData;
};

struct DIPROPRANGE {
    DIPROPHEADER diph;
    LONG lMin;
    LONG lMax;
};

struct DIMOUSESTATE {
    LONG lX;
    LONG lY;
    LONG lZ;
    BYTE rgbButtons[4];
};

struct DIJOYSTATE {
    LONG lX;
    LONG lY;
    LONG lZ;
    LONG lRx;
    LONG lRy;
    LONG lRz;
    LONG rglSlider[2];
    DWORD rgdwPOV[4];
    BYTE rgbButtons[32];
};

#define DIJOFS_X offsetof(DIJOYSTATE, lX)
#define DIJOFS_Y offsetof(DIJOYSTATE, lY)

struct DIDEVICEINSTANCEA {
    DWORD dwSize;
    GUID guidInstance;
    GUID guidProduct;
    DWORD dwDevType;
    CHAR tszInstanceName[260];
    CHAR tszProductName[260];
    GUID guidFFDriver;
    WORD wUsagePage;
    WORD wUsage;
};
typedef const DIDEVICEINSTANCEA* LPCDIDEVICEINSTANCEA;
typedef BOOL(CALLBACK* LPDIENUMDEVICESCALLBACKA)(LPCDIDEVICEINSTANCEA, LPVOID);

// Each interface is a thin front whose methods forward to the layer's own objects.
struct IDirectInput7A {
    ULONG AddRef();
    ULONG Release();
    HRESULT CreateDeviceEx(REFGUID device, REFIID iid, LPVOID* out, LPUNKNOWN outer);
    HRESULT EnumDevices(DWORD deviceType, LPDIENUMDEVICESCALLBACKA callback, LPVOID context, DWORD flags);

protected:
    IDirectInput7A() = default;
    ~IDirectInput7A() = default;
    IDirectInput7A(const IDirectInput7A&) = delete;
    IDirectInput7A& operator=(const IDirectInput7A&) = delete;
};

struct IDirectInputDevice7A {
    ULONG AddRef();
    ULONG Release();
    HRESULT SetDataFormat(LPCDIDATAFORMAT format);
    HRESULT SetCooperativeLevel(HWND window, DWORD flags);
    HRESULT SetProperty(REFGUID property, LPCDIPROPHEADER header);
    HRESULT Acquire();
    HRESULT Unacquire();
    HRESULT Poll();
    HRESULT GetDeviceState(DWORD size, LPVOID data);

protected:
    IDirectInputDevice7A() = default;
    ~IDirectInputDevice7A() = default;
    IDirectInputDevice7A(const IDirectInputDevice7A&) = delete;
    IDirectInputDevice7A& operator=(const IDirectInputDevice7A&) = delete;
};

HRESULT WINAPI DirectInputCreateEx(HINSTANCE instance, DWORD version, REFIID iid, LPVOID* out, LPUNKNOWN outer);
