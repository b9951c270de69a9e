#include "TvSearch.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "UnicodeString.h"

namespace tvsearch {

namespace {

bool Within(std::uint32_t address, std::uint32_t network, int prefix) {
    const std::uint32_t mask = prefix == 0 ? 0 : ~std::uint32_t(0) << (32 - prefix);
    return (address & mask) == network;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

bool IsPrivate(std::uint32_t address) noexcept {
    return Within(address, 0x0A000000, 8) || Within(address, 0xAC100000, 12) ||
           Within(address, 0xC0A80000, 16);
}

std::vector<Network> NetworksToSearch(const std::vector<TIdStackLocalAddress>& items) {
    std::vector<Network> networks;
    for (const TIdStackLocalAddress& item : items) {
        if (networks.size() == kMaxAdapters) break;
        const auto pc = tvprobe::ParseIPv4(ToUtf8(item.IPAddress().str()));
        if (item.IPVersion() != TIdIPVersion::Id_IPv4 || !item.Up() || !pc || !IsPrivate(*pc)) continue;
        const int listed = item.PrefixLength();
        const int link = listed < 0 || listed > 32 ? kWidestPrefix : listed;
        const int asked = std::max(link, kWidestPrefix);
        const std::uint64_t size = std::uint64_t(1) << (32 - asked);
        Network n;
        n.pc = *pc;
        n.linkFirst = link == 0 ? 0 : *pc & (~std::uint32_t(0) << (32 - link));
        n.linkLast = n.linkFirst + std::uint32_t((std::uint64_t(1) << (32 - link)) - 1);
        const std::uint32_t base = *pc & ~std::uint32_t(size - 1);
        // A /31 has two hosts and no network or broadcast address; a /32 has none but this PC.
        n.first = size <= 2 ? base : base + 1;
        n.last = size <= 2 ? base + std::uint32_t(size - 1) : base + std::uint32_t(size - 2);
        networks.push_back(n);
    }
    return networks;
}

std::vector<std::uint32_t> HostsToAsk(const std::vector<Network>& networks) {
    std::set<std::uint32_t> mine;
    for (const Network& n : networks) mine.insert(n.pc);
    std::vector<std::uint32_t> hosts;
    std::set<std::uint32_t> taken;
    for (const Network& n : networks) {
        for (std::uint64_t a = n.first; a <= n.last; ++a) {
            const auto host = std::uint32_t(a);
            if (!mine.count(host) && taken.insert(host).second) hosts.push_back(host);
        }
    }
    return hosts;
}

std::string SsdpSearch(std::string_view service) {
    std::string request = "M-SEARCH * HTTP/1.1\r\nHOST: ";
    request += kSsdpGroup;
    request += ":" + std::to_string(kSsdpPort) + "\r\nMAN: \"ssdp:discover\"\r\nMX: 1\r\nST: ";
    request.append(service);
    request += "\r\n\r\n";
    return request;
}

bool IsTvServiceAnswer(std::string_view datagram) noexcept {
    size_t at = 0;
    bool first = true;
    while (at < datagram.size()) {
        size_t end = datagram.find('\n', at);
        if (end == std::string_view::npos) end = datagram.size();
        const std::string_view line = Trim(datagram.substr(at, end - at));
        at = end + 1;
        if (first) {
            first = false;
            if (line.substr(0, 9) != "HTTP/1.1 " || Trim(line.substr(9)).substr(0, 3) != "200") return false;
            continue;
        }
        if (line.empty()) return false;  // the end of the head, and no ST
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos || !EqualsNoCase(Trim(line.substr(0, colon)), "ST")) continue;
        const std::string_view st = Trim(line.substr(colon + 1));
        return std::any_of(std::begin(kTvServices), std::end(kTvServices),
                           [&](std::string_view s) { return EqualsNoCase(st, s); });
    }
    return false;
}

bool SaysItIsATv(const tvprobe::TvDevice& device) noexcept {
    const std::string& type = device.type;
    for (size_t i = 0; i + 1 < type.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(type[i])) == 't' &&
            std::tolower(static_cast<unsigned char>(type[i + 1])) == 'v')
            return true;
    return false;
}

tvprobe::Judgement JudgeFound(const tvprobe::TvDevice& device, const std::vector<std::string>& pcAddresses) {
    // As if its developer port had refused: the answer alone then decides. On, with this PC's
    // address, is what the probe calls not yet active; before an installation it is ready.
    tvprobe::Judgement j = tvprobe::Judge(tvprobe::PortAnswer::Refused, device, pcAddresses);
    if (j.cause == FailureCause::DevModeInactive) {
        j.cause = FailureCause::Unknown;
        j.pcAddress.clear();
    }
    return j;
}

}  // namespace tvsearch
