// Asks the TV at one address, with the window answering meanwhile: what its developer port does
// with a connection, and what its REST service says (GET /api/v2/). Windows build only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "MessageWait.h"
#include "net/TvPorts.h"
#include "net/TvProbe.h"

namespace tvprobe {

struct ProbeOptions {
    std::uint16_t bridgePort = kTvDeveloperPort;
    std::uint16_t restPort = kTvRestPort;
    DWORD connectMs = 2000;     // bound of the connect to bridgePort
    DWORD closeWatchMs = 1000;  // after it: how long a close still counts as "at once"
    DWORD restMs = 3000;        // bound of the whole REST exchange, connect to last byte
    // The wait (framework/MessageWait.h); null: WaitForHandlesOrInput, as the command runner waits.
    HandleWaitFunction wait = nullptr;
};

struct ProbeResult {
    PortAnswer port = PortAnswer::NoAnswer;
    std::optional<TvDevice> device;  // the REST answer, when the TV gave a usable one
    bool quitting = false;           // left early: the application is quitting; nothing is known
};

// Asks both questions at `address` (dotted-decimal IPv4 only: no name is looked up, nothing
// else is contacted) at the same time, so the whole probe takes at most about
// max(connectMs + closeWatchMs, restMs). While it waits, every window message is dispatched
// (Application->ProcessMessages); it stops when the application is quitting. Never throws;
// an address that is not dotted-decimal IPv4 gives NoAnswer without a socket.
ProbeResult ProbeTv(const std::string& address, const ProbeOptions& options = {});

// Tests that type an address where no test TV listens put a stand-in here, so that no probe
// leaves for it; the previous one is returned (null: the real probe).
using ProbeFunction = ProbeResult (*)(const std::string& address, const ProbeOptions& options);
ProbeFunction SetProbeForTests(ProbeFunction probe) noexcept;

}  // namespace tvprobe
