// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Cli.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

namespace {
// The folder of this program's own file, links resolved: the windows' module
// lies beside it.
std::string programFolder()
{
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return std::string();
    const std::string file(path, size_t(n));
    return file.substr(0, file.rfind('/'));
}

// Whether the windows have somewhere to go: an X or Wayland display, or a
// platform chosen by QT_QPA_PLATFORM or -platform (offscreen, vnc, ...).
// Without one Qt would abort.
bool hasDisplay(int argc, char *argv[])
{
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char *value = std::getenv(name);
        if (value && *value)
            return true;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0
            || std::strncmp(argv[i], "-platform=", 10) == 0 || std::strncmp(argv[i], "--platform=", 11) == 0)
            return true;
    }
    return false;
}
}

int main(int argc, char *argv[])
{
    // The terminal commands need no window and no display.
    if (Cli::isCommand(argc, argv))
        return Cli::run(argc, argv);

    if (!hasDisplay(argc, argv)) {
        std::fprintf(stderr, "setupreel: there is no display to show the window on (DISPLAY is not set).\n"
                             "The terminal commands need none: try 'setupreel --help'.\n");
        return 2;
    }

    const std::string module = programFolder() + "/" SETUPREEL_WINDOWS_MODULE;
    void *windows = ::dlopen(module.c_str(), RTLD_LAZY | RTLD_LOCAL);
    using Entry = int (*)(int, char **);
    const auto entry = windows ? reinterpret_cast<Entry>(::dlsym(windows, "setupreelWindowsMain")) : nullptr;
    if (!entry) {
        std::fprintf(stderr, "setupreel: the windows cannot be loaded: %s\n", ::dlerror());
        return 1;
    }
    return entry(argc, argv);
}
