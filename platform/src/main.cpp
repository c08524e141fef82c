// The process entry point on systems without Windows: hands over to the program's WinMain.
#include <windows.h>

int main() { return WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(""), SW_SHOWNORMAL); }
