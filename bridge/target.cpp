#include "target.h"

#include <vector>

#include "gone.h"

namespace kb {

namespace {

constexpr const char* kMoreThanOne =
    "error: more than one target found. Specify the target with -s option.\n";

}  // namespace

std::optional<Resolved> ResolveTarget(const Invocation& inv, const Settings& settings, Console& console) {
    std::vector<Target> targets = LoadTargets(settings.statePath);
    const Target* chosen = nullptr;
    if (!inv.serial.empty()) {
        for (const Target& t : targets) {
            if (t.serial == inv.serial) chosen = &t;
        }
    } else if (targets.size() > 1) {
        console.Err(kMoreThanOne);
        return std::nullopt;
    } else if (targets.size() == 1) {
        chosen = &targets[0];
    }
    std::string badPort;
    std::optional<HostPort> address;
    if (chosen) address = ParseHostPort(chosen->serial, badPort);
    if (!chosen || !address) {
        console.Err(gone::kTargetNotFound);
        return std::nullopt;
    }
    return Resolved{*chosen, *address};
}

bool Reach(DeviceLink& link, const Resolved& r, Console& console) {
    try {
        link.ConnectTcp(r.address.host, r.address.port);
        link.Handshake();
        return true;
    } catch (const std::exception& e) {
        console.Err(gone::kTargetOffline);
        console.Err(gone::CannotReach(r.target.serial, e.what()));
        return false;
    }
}

std::string Reason(const std::exception& e) {
    if (dynamic_cast<const ProtocolError*>(&e)) return std::string("protocol fault: ") + e.what();
    if (dynamic_cast<const net::TimeoutError*>(&e)) return gone::StoppedAnswering(e.what());
    return e.what();
}

std::string Describe(const std::exception& e) { return gone::Failed(Reason(e)); }

}  // namespace kb
