// The listing outside Windows (host builds): getifaddrs, every IPv4 address of every interface but
// loopback, in the order the system gives, with its prefix and whether the interface is up.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>

#include "Exception.h"
#include "IdStack.h"

namespace {

// The number of leading one bits of an IPv4 netmask; unknown where there is none.
int PrefixOf(const sockaddr* mask) {
    if (!mask || mask->sa_family != AF_INET) return TIdStackLocalAddress::kUnknownPrefix;
    std::uint32_t bits = ntohl(reinterpret_cast<const sockaddr_in*>(mask)->sin_addr.s_addr);
    int prefix = 0;
    while (prefix < 32 && (bits & 0x80000000u)) {
        bits <<= 1;
        ++prefix;
    }
    return prefix;
}

bool Up(const ifaddrs& entry) { return (entry.ifa_flags & IFF_UP) && (entry.ifa_flags & IFF_RUNNING); }

}  // namespace

void PlatformLocalAddresses(TIdStackLocalAddressList& list) {
    ifaddrs* first = nullptr;
    if (getifaddrs(&first) != 0) throw EOSError(FromUtf8(std::strerror(errno)));
    std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> owner(first, &freeifaddrs);

    for (const ifaddrs* entry = first; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET || (entry->ifa_flags & IFF_LOOPBACK))
            continue;
        const auto* in4 = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        unsigned char bytes[4];
        std::memcpy(bytes, &in4->sin_addr, sizeof bytes);
        list.Add(TIdIPVersion::Id_IPv4, IPv4ToText(bytes), PrefixOf(entry->ifa_netmask), Up(*entry));
    }
}
