#include "cli/Cli.h"

#include <climits>
#include <cstdio>
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
}

int main(int argc, char *argv[])
{
    // The terminal commands need no window and no display.
    if (Cli::isCommand(argc, argv))
        return Cli::run(argc, argv);

    const std::string module = programFolder() + "/" SETUPREEL_WINDOWS_MODULE;
    void *windows = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    using Entry = int (*)(int, char **);
    const auto entry = windows ? reinterpret_cast<Entry>(::dlsym(windows, "setupreelWindowsMain")) : nullptr;
    if (!entry) {
        std::fprintf(stderr, "setupreel: the windows cannot be loaded: %s\n", ::dlerror());
        return 1;
    }
    return entry(argc, argv);
}
