// The client's commands, run in-process: the executable's main() and the tests both call
// RunBridge.
#pragma once

#include <filesystem>
#include <span>
#include <string>

#include "console.h"
#include "device.h"

namespace kb {

struct Settings {
    std::filesystem::path statePath;  // where `connect` records targets
    Timeouts timeouts;
};

// `args` excludes the program name. Returns the process exit code.
int RunBridge(std::span<const std::string> args, Console& console, const Settings& settings);

}  // namespace kb
