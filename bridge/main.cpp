// iu: command-line bridge client for Tizen TVs. Each run opens its own connection to the TV;
// nothing is left running afterwards.
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "commands.h"
#include "state.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// KAVORIN_BRIDGE_IDLE_MS shortens (or lengthens) the stall timeouts, for tests of stalls.
void ApplyOverrides(kb::Timeouts& timeouts) {
    if (const char* idle = std::getenv("KAVORIN_BRIDGE_IDLE_MS"); idle && *idle) {
        int ms = std::atoi(idle);
        if (ms > 0) timeouts.idleMs = timeouts.shellIdleMs = ms;
    }
}

int Run(const std::vector<std::string>& args) {
    kb::net::NetSession session;
    kb::StdConsole console;
    kb::Settings settings;
    settings.statePath = kb::DefaultStatePath();
    ApplyOverrides(settings.timeouts);
    try {
        return kb::RunBridge(args, console, settings);
    } catch (const std::exception& e) {
        console.Err(std::string("error: ") + e.what() + "\n");
        return 1;
    } catch (...) {
        console.Err("error: unexpected failure\n");
        return 1;
    }
}

}  // namespace

#ifdef _WIN32
// The C runtime splits the command line; arguments arrive as UTF-16 and are used as UTF-8.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        int n = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(size_t(n > 0 ? n - 1 : 0), '\0');
        if (n > 1) WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, arg.data(), n, nullptr, nullptr);
        args.push_back(std::move(arg));
    }
    return Run(args);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
