// The process entry point on systems without Windows: reads the command line, then hands over to WinMain.
#include "platform/src/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

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

// Output that never arrived (a full disk, a closed pipe) is a failure, not a help shown: said on standard error, and
// status 1.
int Print(const std::string& text) {
    if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "ditessary: cannot write to standard output: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool windowed = false;
    for (int i = 1; i < argc; ++i) {
        const char* option = argv[i];
        if (std::strcmp(option, "--help") == 0) return Print(std::string(kUsage) + "\n\n" + kHelp);
        if (std::strcmp(option, "--version") == 0) return Print(std::string("ditessary ") + DITESSARY_VERSION + "\n");
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
