// The process entry point on systems without Windows: reads the command line, then hands over to WinMain.
#include "platform/src/platform.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char kUsage[] = "usage: ditessary [--fullscreen | --window] [--help] [--version]";

constexpr char kHelp[] =
    "A DirectDraw and DirectInput tester for 640 x 480 in 256 colours: a live read-out of the arrow keys,\n"
    "the first joystick and the mouse, then a sprite walking over a star field.\n"
    "\n"
    "Options:\n"
    "  --fullscreen  start in full screen (the default)\n"
    "  --window      start in a window\n"
    "  --help        show this help and exit\n"
    "  --version     show the version and exit\n"
    "\n"
    "Keys:\n"
    "  Space, joystick button 9  start the walk\n"
    "  Left, Right, the stick    walk\n"
    "  Alt+Enter                 switch between full screen and a window\n"
    "  Escape, F12               quit\n";

constexpr int kBadUsage = 2;

}  // namespace

int main(int argc, char** argv) {
    bool windowed = false;
    for (int i = 1; i < argc; ++i) {
        const char* option = argv[i];
        if (std::strcmp(option, "--help") == 0) {
            std::printf("%s\n\n%s", kUsage, kHelp);
            return 0;
        }
        if (std::strcmp(option, "--version") == 0) {
            std::printf("ditessary %s\n", DITESSARY_VERSION);
            return 0;
        }
        if (std::strcmp(option, "--window") == 0) {
            windowed = true;
        } else if (std::strcmp(option, "--fullscreen") == 0) {
            windowed = false;
        } else {
            std::fprintf(stderr, "ditessary: unknown option '%s'; %s\n", option, kUsage);
            return kBadUsage;
        }
    }
    WindowStartInWindow(windowed);
    return WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(""), SW_SHOWNORMAL);
}
