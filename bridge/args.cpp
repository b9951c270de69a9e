#include "args.h"

namespace kb {

namespace {

struct CommandEntry {
    std::string_view name;
    CommandKind kind;
    size_t minArgs;
    size_t maxArgs;
};

constexpr size_t kAny = size_t(-1);
constexpr CommandEntry kCommands[] = {
    {"kill-server", CommandKind::KillServer, 0, 0},
    {"connect", CommandKind::Connect, 1, 1},
    {"devices", CommandKind::Devices, 0, 0},
    {"shell", CommandKind::Shell, 1, kAny},
    {"push", CommandKind::Push, 2, 2},
    {"version", CommandKind::Version, 0, 0},
    {"help", CommandKind::Help, 0, 0},
};

ParsedArgs Fail(std::string message) { return ParsedArgs{std::nullopt, std::move(message)}; }

}  // namespace

ParsedArgs ParseArguments(std::span<const std::string> args) {
    Invocation inv;
    size_t i = 0;
    while (i < args.size() && !args[i].empty() && args[i][0] == '-') {
        if (args[i] == "-s") {
            if (i + 1 >= args.size() || args[i + 1].empty()) return Fail("-s needs a serial");
            inv.serial = args[i + 1];
            i += 2;
        } else if (args[i] == "--help" || args[i] == "-h") {
            inv.kind = CommandKind::Help;
            return ParsedArgs{inv, {}};
        } else {
            return Fail("unknown option '" + args[i] + "'");
        }
    }
    if (i >= args.size()) return Fail("no command given");

    const std::string& name = args[i];
    const CommandEntry* command = nullptr;
    for (const CommandEntry& candidate : kCommands) {
        if (candidate.name == name) command = &candidate;
    }
    if (!command) return Fail("unknown command '" + name + "'");

    std::span<const std::string> rest = args.subspan(i + 1);
    if (rest.size() < command->minArgs || (command->maxArgs != kAny && rest.size() > command->maxArgs)) {
        return Fail("wrong number of arguments for '" + name + "'");
    }
    inv.kind = command->kind;
    switch (command->kind) {
    case CommandKind::Connect: inv.target = rest[0]; break;
    case CommandKind::Shell: inv.words.assign(rest.begin(), rest.end()); break;
    case CommandKind::Push:
        if (rest[0].empty() || rest[1].empty()) return Fail("push needs a local and a remote path");
        inv.local = rest[0];
        inv.remote = rest[1];
        break;
    default: break;
    }
    return ParsedArgs{inv, {}};
}

std::string BuildShellService(std::span<const std::string> words) {
    std::string service = "shell:";
    for (size_t i = 0; i < words.size(); ++i) {
        if (i > 0) service += ' ';
        const std::string& word = words[i];
        if (i > 0 && (word.empty() || word.find(' ') != std::string::npos)) {
            service += '"';
            service += word;
            service += '"';
        } else {
            service += word;
        }
    }
    return service;
}

std::optional<HostPort> ParseHostPort(std::string_view text, std::string& badPort) {
    HostPort result;
    size_t colon = text.find(':');
    result.host = std::string(text.substr(0, colon));
    if (colon != std::string_view::npos) {
        std::string_view port = text.substr(colon + 1);
        uint32_t value = 0;
        bool ok = !port.empty() && port.size() <= 5;
        for (char c : port) {
            if (c < '0' || c > '9') {
                ok = false;
                break;
            }
            value = value * 10 + uint32_t(c - '0');
        }
        if (!ok || value == 0 || value > 65535) {
            badPort = std::string(port);
            return std::nullopt;
        }
        result.port = uint16_t(value);
    }
    result.serial = result.host + ":" + std::to_string(result.port);
    return result;
}

}  // namespace kb
