#include "commands.h"

#include <algorithm>
#include <optional>

#include "args.h"
#include "format.h"
#include "push.h"
#include "state.h"
#include "target.h"

namespace kb {

namespace {

int KillServer(const Settings& settings, Console& console) {
    // No server ever runs; forgetting the targets is what stopping it would have meant.
    if (!settings.statePath.empty()) ForgetTargets(settings.statePath);
    console.Out("info: Server is not running\n");
    return 0;
}

int Connect(const Invocation& inv, const Settings& settings, Console& console) {
    std::string badPort;
    std::optional<HostPort> address = ParseHostPort(inv.target, badPort);
    if (!address) {
        console.Out("bad port format '" + badPort + "'\n");
        return 1;
    }
    const std::string failedRemote = "error: failed to connect to remote target '" + address->host + "'\n";
    uint32_t ignored;
    if (!net::ParseIPv4(address->host, ignored)) {
        console.Out(failedRemote);
        console.Err("error: '" + address->host + "' is not a numeric IPv4 address\n");
        return 1;
    }
    if (settings.statePath.empty()) {
        console.Err("error: no place to record targets (set LOCALAPPDATA or HOME)\n");
        return 1;
    }

    std::vector<Target> targets = LoadTargets(settings.statePath);
    auto known = std::find_if(targets.begin(), targets.end(),
                              [&](const Target& t) { return t.serial == address->serial; });
    const bool wasKnown = known != targets.end();
    auto forget = [&] {
        if (!wasKnown) return;
        targets.erase(known);
        try {
            SaveTargets(settings.statePath, targets);
        } catch (const std::exception&) {}
    };

    DeviceLink link(settings.timeouts);
    try {
        link.ConnectTcp(address->host, address->port);
    } catch (const std::exception& e) {
        console.Out(failedRemote);
        console.Err(std::string("error: ") + e.what() + "\n");
        forget();
        return 1;
    }
    if (!wasKnown) console.Out("connecting to " + address->serial + " ...\n");
    try {
        link.Handshake();
    } catch (const std::exception& e) {
        console.Out("failed to connect to " + address->serial + "\n");
        console.Err(Describe(e));
        forget();
        return 1;
    }

    Target target{address->serial, link.Locked() ? "locked" : "device", link.Banner().model};
    if (wasKnown) {
        *known = target;
    } else {
        targets.push_back(target);
    }
    try {
        SaveTargets(settings.statePath, targets);
    } catch (const std::exception& e) {
        console.Err(std::string("error: cannot record the target: ") + e.what() + "\n");
        return 1;
    }
    console.Out(wasKnown ? address->serial + " is already connected\n"
                         : "connected to " + address->serial + "\n");
    return 0;
}

int Devices(const Settings& settings, Console& console) {
    std::vector<Target> targets = LoadTargets(settings.statePath);
    console.Out(format::DevicesHeader());
    for (const Target& t : targets) {
        std::string state = "offline";
        std::string name = t.name;
        std::string badPort;
        if (auto address = ParseHostPort(t.serial, badPort)) {
            DeviceLink link(settings.timeouts);
            try {
                link.ConnectTcp(address->host, address->port);
                link.Handshake();
                state = link.Locked() ? "locked" : "device";
                if (!link.Banner().model.empty()) name = link.Banner().model;
            } catch (const std::exception&) {}
        }
        console.Out(
            format::DeviceLine(t.serial, state, name.empty() ? "<unknown>" : format::Printable(name)));
    }
    return 0;
}

int Shell(const Invocation& inv, const Settings& settings, Console& console) {
    const std::string service = BuildShellService(inv.words);
    std::optional<Resolved> target = ResolveTarget(inv, settings, console);
    if (!target) return 1;
    DeviceLink link(settings.timeouts);
    if (!Reach(link, *target, console)) return 1;
    try {
        // Asked first, as the SDK client does, but not waited for: nothing in it is needed for a
        // one-shot command, so both OPENs leave together and the answer is dropped.
        link.Ask("capability:");
        std::optional<Stream> stream = link.Open(service);
        if (!stream) {
            console.Err("closed\n");
            return 1;
        }
        std::vector<uint8_t> data;
        while (link.Read(*stream, data, settings.timeouts.shellIdleMs)) console.Raw(data);
        return 0;
    } catch (const std::exception& e) {
        console.Err(Describe(e));
        return 1;
    }
}

}  // namespace

int RunBridge(std::span<const std::string> args, Console& console, const Settings& settings) {
    ParsedArgs parsed = ParseArguments(args);
    if (!parsed.invocation) {
        console.Err("error: " + parsed.error + "\n\n" + format::UsageText());
        return 1;
    }
    const Invocation& inv = *parsed.invocation;
    switch (inv.kind) {
    case CommandKind::KillServer: return KillServer(settings, console);
    case CommandKind::Connect: return Connect(inv, settings, console);
    case CommandKind::Devices: return Devices(settings, console);
    case CommandKind::Shell: return Shell(inv, settings, console);
    case CommandKind::Push: return RunPush(inv, settings, console);
    case CommandKind::Version: console.Out(format::VersionText()); return 0;
    case CommandKind::Help: console.Out(format::UsageText()); return 0;
    }
    return 1;
}

}  // namespace kb
