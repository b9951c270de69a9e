// The per-user list of targets that `connect` recorded. There is no background server: this
// small file is all that carries over from one command to the next.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kb {

struct Target {
    std::string serial;            // "<ip>:<port>"
    std::string state = "device";  // "device" or "locked", as the TV's banner last said
    std::string name;              // model name from the banner, empty when unknown
};

std::string SerializeTargets(const std::vector<Target>& targets);
// Tolerates anything: lines that do not parse are skipped, duplicates keep the first.
std::vector<Target> ParseTargets(std::string_view text);

// KAVORIN_BRIDGE_STATE when set (the file itself); else on Windows
// %LOCALAPPDATA%\KavorinBridge\targets, elsewhere $XDG_STATE_HOME/kavorin-bridge/targets or
// ~/.local/state/kavorin-bridge/targets. Empty when none of these can be found.
std::filesystem::path DefaultStatePath();

// A missing or unreadable file is an empty list.
std::vector<Target> LoadTargets(const std::filesystem::path& file);
// Writes a temporary file beside `file`, flushes it to disk and renames it over `file`, so a
// reader sees the old list or the new one, never a torn one. Throws std::runtime_error.
void SaveTargets(const std::filesystem::path& file, const std::vector<Target>& targets);
// Removes the file; true when it existed.
bool ForgetTargets(const std::filesystem::path& file);

}  // namespace kb
