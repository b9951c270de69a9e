// Looks for TVs on this PC's own networks, with the window answering meanwhile: an SSDP M-SEARCH
// for the TV's services on each adapter and a connect to port 8001 on every host of its /24 at
// the same time; each host that takes the connection is asked GET /api/v2/ and counts when its
// answer says it is a TV. Windows build only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "net/TvProbeWin.h"
#include "net/TvPorts.h"
#include "net/TvSearch.h"

namespace tvsearch {

struct SearchOptions {
    std::uint16_t restPort = kTvRestPort;
    DWORD boundMs = 3000;  // the whole search, start to end
    // Once a TV that answered SSDP has given its REST answer, the search ends this long after it
    // began (MX 1 and some room), as soon as no host that took the connection still owes its answer.
    DWORD ssdpSettleMs = 1200;
    DWORD ssdpRepeatMs = 300;  // the M-SEARCHes go out twice: a datagram can be lost
    std::string ssdpAddress = kSsdpGroup;
    std::uint16_t ssdpPort = kSsdpPort;
    // The wait; null: MsgWaitForMultipleObjects on all input, as the command runner waits.
    HandleWaitFunction wait = nullptr;
};

struct SearchResult {
    std::vector<FoundTv> tvs;  // in address order
    std::size_t hostsAsked = 0;
    std::size_t ssdpHosts = 0;  // hosts that answered an M-SEARCH for a TV service
    bool quitting = false;      // left early: the application is quitting; nothing is known
};

// Searches `networks` (NetworksToSearch): every host of HostsToAsk, and SSDP from each network's
// PC address. Never longer than options.boundMs; dispatches every window message meanwhile and
// stops when the application is quitting. No network, no socket. Never throws.
SearchResult SearchNetworks(const std::vector<Network>& networks, const SearchOptions& options = {});

// Searches the networks of this PC's adapters (GetLocalIPv4Items).
SearchResult SearchTvs(const SearchOptions& options = {});

// Tests put a stand-in here so that no search leaves the test; the previous one is returned
// (null: the real search).
using SearchFunction = SearchResult (*)(const SearchOptions& options);
SearchFunction SetSearchForTests(SearchFunction search) noexcept;

}  // namespace tvsearch
