// The network search without a socket: which hosts are asked for which adapters, and what an
// SSDP answer and a REST answer must say for a host to count as a TV.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "net/TvSearch.h"

namespace {

using namespace tvsearch;

std::uint32_t A(const char* text) { return *tvprobe::ParseIPv4(text); }

struct Item {
    const wchar_t* address;
    int prefix;
    bool up = true;
    TIdIPVersion version = TIdIPVersion::Id_IPv4;
};

std::vector<TIdStackLocalAddress> Items(const std::vector<Item>& items) {
    std::vector<TIdStackLocalAddress> out;
    for (const Item& i : items) out.emplace_back(i.version, i.address, i.prefix, i.up);
    return out;
}

// The hosts asked as ranges "first-last" (or one address), in order: what a reader checks.
std::vector<std::string> Ranges(const std::vector<std::uint32_t>& hosts) {
    std::vector<std::string> out;
    for (size_t i = 0; i < hosts.size();) {
        size_t j = i;
        while (j + 1 < hosts.size() && hosts[j + 1] == hosts[j] + 1) ++j;
        out.push_back(tvprobe::IPv4Text(hosts[i]) + (j > i ? "-" + tvprobe::IPv4Text(hosts[j]) : ""));
        i = j + 1;
    }
    return out;
}

TEST(NetworksToSearch, WhichHostsAreAskedForWhichAdapters) {
    constexpr int kUnknown = TIdStackLocalAddress::kUnknownPrefix;
    struct Row {
        const char* what;
        std::vector<Item> items;
        std::vector<std::string> hosts;
    };
    const Row rows[] = {
        {"none", {}, {}},
        {"a home /24", {{L"192.168.1.20", 24}}, {"192.168.1.1-192.168.1.19", "192.168.1.21-192.168.1.254"}},
        {"a /16 gives the /24 around the PC",
         {{L"10.1.7.200", 16}},
         {"10.1.7.1-10.1.7.199", "10.1.7.201-10.1.7.254"}},
        {"a /8 likewise", {{L"10.0.0.1", 8}}, {"10.0.0.2-10.0.0.254"}},
        {"a prefix the listing did not give: the /24",
         {{L"172.16.5.9", kUnknown}},
         {"172.16.5.1-172.16.5.8", "172.16.5.10-172.16.5.254"}},
        {"a /28 asks its 14 hosts",
         {{L"192.168.1.20", 28}},
         {"192.168.1.17-192.168.1.19", "192.168.1.21-192.168.1.30"}},
        {"a /30: the one other host", {{L"192.168.9.1", 30}}, {"192.168.9.2"}},
        {"a /31: the other of the two", {{L"10.9.9.4", 31}}, {"10.9.9.5"}},
        {"a /32: nobody", {{L"10.9.9.4", 32}}, {}},
        {"public and edge-of-range addresses are never searched",
         {{L"8.8.4.4", 24},
          {L"172.32.0.5", 24},
          {L"172.15.255.5", 24},
          {L"192.169.1.5", 24},
          {L"11.0.0.5", 24}},
         {}},
        {"private ranges at their edges",
         {{L"172.31.255.5", 30}, {L"10.255.255.9", 30}, {L"192.168.255.1", 30}},
         {"172.31.255.6", "10.255.255.10", "192.168.255.2"}},
        {"an adapter that is down, and IPv6, are left out",
         {{L"192.168.1.20", 24, false}, {L"fd00::5", 64, true, TIdIPVersion::Id_IPv6}, {L"10.0.0.5", 30}},
         {"10.0.0.6"}},
        {"two adapters on one subnet: its hosts once, this PC's both addresses left out",
         {{L"192.168.1.20", 24}, {L"192.168.1.21", 24}},
         {"192.168.1.1-192.168.1.19", "192.168.1.22-192.168.1.254"}},
        {"at most four adapters, in the listing's order",
         {{L"10.0.1.1", 30}, {L"10.0.2.1", 30}, {L"10.0.3.1", 30}, {L"10.0.4.1", 30}, {L"10.0.5.1", 30}},
         {"10.0.1.2", "10.0.2.2", "10.0.3.2", "10.0.4.2"}},
        {"a public adapter takes no place of the four",
         {{L"203.0.113.7", 24}, {L"10.0.1.1", 30}, {L"10.0.2.1", 30}, {L"10.0.3.1", 30}, {L"10.0.4.1", 30}},
         {"10.0.1.2", "10.0.2.2", "10.0.3.2", "10.0.4.2"}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Ranges(HostsToAsk(NetworksToSearch(Items(row.items)))), row.hosts) << row.what;

    // SSDP answers count from the whole subnet of the adapter, wider than the /24 asked.
    const std::vector<Network> wide = NetworksToSearch(Items({{L"10.1.7.200", 16}}));
    ASSERT_EQ(wide.size(), 1u);
    EXPECT_EQ(wide[0],
              (Network{A("10.1.7.200"), A("10.1.0.0"), A("10.1.255.255"), A("10.1.7.1"), A("10.1.7.254")}));
    EXPECT_EQ(HostsToAsk(NetworksToSearch(Items({{L"192.168.1.20", 24}}))).size(), 253u);
}

TEST(SsdpAnswer, OnlyAnAnswerForTheTvsServicesCounts) {
    const std::string remote =
        "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=1800\r\nEXT:\r\nLOCATION: "
        "http://192.168.1.31:7676/smp_15_\r\n"
        "SERVER: SHP, UPnP/1.0, Samsung UPnP SDK/1.0\r\nST: "
        "urn:samsung.com:device:RemoteControlReceiver:1\r\n"
        "USN: uuid:0ee6b280::urn:samsung.com:device:RemoteControlReceiver:1\r\nContent-Length: 0\r\n\r\n";
    static const char kBytes[] = "HTTP/1.1 200 OK\r\nST: \0\xff\r\n\r\n";
    struct Row {
        const char* what;
        std::string datagram;
        bool counts;
    };
    const Row rows[] = {
        {"the remote-control service", remote, true},
        {"DIAL, header names in any case, LF line ends",
         "HTTP/1.1 200 OK\nst:  urn:dial-multiscreen-org:service:dial:1 \nlocation: http://x/\n\n", true},
        {"another service", "HTTP/1.1 200 OK\r\nST: upnp:rootdevice\r\n\r\n", false},
        {"a service whose name only begins the same",
         "HTTP/1.1 200 OK\r\nST: urn:dial-multiscreen-org:service:dial:10\r\n\r\n", false},
        {"an M-SEARCH of another searcher", SsdpSearch(kTvServices[0]), false},
        {"a NOTIFY", "NOTIFY * HTTP/1.1\r\nNT: urn:dial-multiscreen-org:service:dial:1\r\n\r\n", false},
        {"not 200", "HTTP/1.1 404 Not Found\r\nST: urn:dial-multiscreen-org:service:dial:1\r\n\r\n", false},
        {"ST after the head", "HTTP/1.1 200 OK\r\n\r\nST: urn:dial-multiscreen-org:service:dial:1\r\n",
         false},
        {"empty", "", false},
        {"a NUL and a byte that is no text", std::string(kBytes, sizeof kBytes - 1), false},
    };
    for (const Row& row : rows) EXPECT_EQ(IsTvServiceAnswer(row.datagram), row.counts) << row.what;
    EXPECT_EQ(SsdpSearch(kTvServices[1]),
              "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\nMX: 1\r\n"
              "ST: urn:dial-multiscreen-org:service:dial:1\r\n\r\n");
}

TEST(RestAnswer, CountsAsATvOnlyWhenItSaysSo) {
    struct Row {
        const char* type;
        bool tv;
    };
    for (const Row& row :
         {Row{"Samsung SmartTV", true}, Row{"Samsung Smart TV", true}, Row{"tv", true},
          Row{"Samsung Speaker", false}, Row{"Samsung Soundbar", false}, Row{"", false}, Row{"T V", false}}) {
        tvprobe::TvDevice d;
        d.type = row.type;
        d.name = "[TV] Samsung 7 Series (43)";  // a name alone says nothing
        EXPECT_EQ(SaysItIsATv(d), row.tv) << row.type;
    }
}

// Before an installation, on with this PC's address is ready; the rest as the probe finds it.
TEST(RestAnswer, WhatAFoundTvIsReadyFor) {
    const std::vector<std::string> pc = {"192.168.1.20"};
    auto judged = [&](const char* mode, const char* hostIp) {
        tvprobe::TvDevice d;
        d.developerMode = mode;
        d.developerIP = hostIp;
        return JudgeFound(d, pc);
    };
    using F = FailureCause;
    EXPECT_EQ(judged("1", "192.168.1.20"), (tvprobe::Judgement{F::Unknown, "", "192.168.1.20", ""}));
    EXPECT_EQ(judged("0", "192.168.1.20").cause, F::DevModeOff);
    EXPECT_EQ(judged("0", "0.0.0.0").cause, F::DevModeOff);
    EXPECT_EQ(judged("1", "192.168.1.77").cause, F::HostIpOther);
    EXPECT_EQ(judged("1", "20.1.168.192"),
              (tvprobe::Judgement{F::HostIpReversed, "", "20.1.168.192", "192.168.1.20"}));
}

}  // namespace
