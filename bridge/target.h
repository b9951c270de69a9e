// The recorded target a command talks to: picking it, reaching it, and the words for what went
// wrong while talking to it. Shared by the commands (commands.cpp) and the push (push.cpp).
#pragma once

#include <exception>
#include <optional>
#include <string>

#include "args.h"
#include "commands.h"
#include "device.h"
#include "state.h"

namespace kb {

struct Resolved {
    Target target;
    HostPort address;
};

// Picks the target a command talks to, printing the client's usual errors when there is none or
// more than one.
std::optional<Resolved> ResolveTarget(const Invocation& inv, const Settings& settings, Console& console);

// Connects and shakes hands with a recorded target; prints "error: target offline" otherwise.
bool Reach(DeviceLink& link, const Resolved& r, Console& console);

// What went wrong in the middle of talking to the device, for one line on stderr.
std::string Reason(const std::exception& e);
// That line.
std::string Describe(const std::exception& e);

}  // namespace kb
