// Command-line parsing for the bridge client and the service strings built from it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kb {

constexpr uint16_t kDefaultDevicePort = 26101;

enum class CommandKind { KillServer, Connect, Devices, Shell, Push, Version, Help };

struct Invocation {
    CommandKind kind = CommandKind::Help;
    std::string serial;              // -s <serial>, empty when not given
    std::string target;              // connect: "<ip>[:<port>]" as typed
    std::vector<std::string> words;  // shell: the words after "shell"
    std::string local, remote;       // push
};

struct ParsedArgs {
    std::optional<Invocation> invocation;
    std::string error;  // set when invocation is empty: what was wrong, without "error: "
};

// `args` excludes the program name.
ParsedArgs ParseArguments(std::span<const std::string> args);

// "shell:" + the words joined by single spaces; a word after the first is wrapped in double
// quotes when it is empty or holds a space. Nothing else is escaped: the TV sees `;` and `$?`.
std::string BuildShellService(std::span<const std::string> words);

struct HostPort {
    std::string host;
    uint16_t port = kDefaultDevicePort;
    std::string serial;  // "<host>:<port>"
};
// Splits "<host>[:<port>]"; the port defaults to 26101. Returns nullopt and sets `badPort` to the
// offending text when the port is not a decimal number from 1 to 65535. The host is not checked.
std::optional<HostPort> ParseHostPort(std::string_view text, std::string& badPort);

}  // namespace kb
