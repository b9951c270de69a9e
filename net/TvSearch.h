// Finding the TV on this PC's own networks when its address is missing or wrong: which hosts are
// asked, what an SSDP answer and a REST answer must say to count, and what a found TV is ready
// for. Portable and pure; the Windows search that asks the hosts is in TvSearchWin.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/IdStack.h"
#include "net/TvProbe.h"

namespace tvsearch {

// Never more adapters than this are searched, and never more of a network than the /24 around
// this PC's own address on it (254 hosts each).
inline constexpr std::size_t kMaxAdapters = 4;
inline constexpr int kWidestPrefix = 24;

// One network of this PC that the search looks at. Addresses as tvprobe::ParseIPv4 gives them.
struct Network {
    std::uint32_t pc = 0;                       // this PC's address on it
    std::uint32_t linkFirst = 0, linkLast = 0;  // the adapter's whole subnet: SSDP answers from it count
    std::uint32_t first = 0, last = 0;          // the hosts asked on port 8001 (first > last: none)
    bool operator==(const Network&) const = default;
};

// 10/8, 172.16/12, 192.168/16.
bool IsPrivate(std::uint32_t address) noexcept;

// The networks of the IPv4 items that are up and in a private range (the listing has left out
// loopback), in the listing's order, at most kMaxAdapters. Each asks its subnet without the
// network and broadcast addresses, or the /24 around the PC's address where the subnet is larger
// or its prefix unknown.
std::vector<Network> NetworksToSearch(const std::vector<TIdStackLocalAddress>& items);

// Every host to ask on those networks, in order, each once (two adapters may share a subnet),
// none of them this PC.
std::vector<std::uint32_t> HostsToAsk(const std::vector<Network>& networks);

// The SSDP group and port every M-SEARCH goes to (multicast, TTL 1: it stays on the link).
inline constexpr const char* kSsdpGroup = "239.255.255.250";
inline constexpr std::uint16_t kSsdpPort = 1900;
// The TV's remote-control service and its DIAL service, each asked for by name.
inline constexpr std::string_view kTvServices[] = {"urn:samsung.com:device:RemoteControlReceiver:1",
                                                   "urn:dial-multiscreen-org:service:dial:1"};

// The M-SEARCH for one service, answers within 1 s (MX 1).
std::string SsdpSearch(std::string_view service);

// Whether a datagram answers SsdpSearch for one of kTvServices: "HTTP/1.1 200 OK" and an ST
// header naming the service. Never throws, whatever the bytes.
bool IsTvServiceAnswer(std::string_view datagram) noexcept;

// Whether a REST answer says its device is a TV: its type names one ("Samsung SmartTV").
bool SaysItIsATv(const tvprobe::TvDevice& device) noexcept;

struct FoundTv {
    std::string address;  // dotted decimal
    tvprobe::TvDevice device;
    bool operator==(const FoundTv&) const = default;
};

// What a found TV's REST answer says about installing from this PC (`pcAddresses` dotted
// decimal), as the probe judges: DevModeOff, HostIpOther, HostIpReversed, or Unknown when
// developer mode is on and names this PC (nothing to fix that the answer shows).
tvprobe::Judgement JudgeFound(const tvprobe::TvDevice& device, const std::vector<std::string>& pcAddresses);

}  // namespace tvsearch
