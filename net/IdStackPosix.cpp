// The listing outside Windows (host builds): getifaddrs, every address of every interface but
// loopback, in the order the system gives.
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "Exception.h"
#include "IdStack.h"

void PlatformLocalAddresses(TIdStackLocalAddressList& list) {
    ifaddrs* first = nullptr;
    if (getifaddrs(&first) != 0) throw EOSError(FromUtf8(std::strerror(errno)));
    std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> owner(first, &freeifaddrs);

    for (const ifaddrs* entry = first; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || (entry->ifa_flags & IFF_LOOPBACK)) continue;
        if (entry->ifa_addr->sa_family == AF_INET) {
            const auto* in4 = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            unsigned char bytes[4];
            std::memcpy(bytes, &in4->sin_addr, sizeof bytes);
            list.Add(TIdIPVersion::Id_IPv4, IPv4ToText(bytes));
        } else if (entry->ifa_addr->sa_family == AF_INET6) {
            const auto* in6 = reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
            unsigned char bytes[16];
            std::memcpy(bytes, &in6->sin6_addr, sizeof bytes);
            list.Add(TIdIPVersion::Id_IPv6, IPv6ToText(bytes));
        }
    }
}
