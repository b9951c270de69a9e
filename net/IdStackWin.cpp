// The Windows listing: GetAdaptersAddresses, every IPv4 unicast address of every adapter but the
// software loopback one, in the order the system gives, with its on-link prefix and whether the
// adapter is up. iphlpapi.dll is loaded from the system folder when first needed: as an import,
// Windows would look for it beside the program first.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>

#include <cstring>
#include <vector>

#include "Exception.h"
#include "SysUtils.h"
#include "SystemFolder.h"
#include "IdStack.h"

void PlatformLocalAddresses(TIdStackLocalAddressList& list) {
    using GetAdapters = decltype(&::GetAdaptersAddresses);
    static const auto getAdaptersAddresses =
        systemfolder::Function<GetAdapters>(L"iphlpapi.dll", "GetAdaptersAddresses");
    if (!getAdaptersAddresses)
        Sysutils::RaiseSystemError(L"Cannot list the network adapters", ERROR_MOD_NOT_FOUND);
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    // ULONGLONG elements keep the adapter records aligned.
    std::vector<ULONGLONG> buffer;
    ULONG size = 16 * 1024;
    ULONG rc = ERROR_BUFFER_OVERFLOW;
    // The adapter set can grow between the size query and the call: retry a few times.
    for (int attempt = 0; attempt < 4 && rc == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.assign(size / sizeof(ULONGLONG) + 1, 0);
        size = static_cast<ULONG>(buffer.size() * sizeof(ULONGLONG));
        rc = getAdaptersAddresses(AF_UNSPEC, flags, nullptr,
                                  reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (rc == ERROR_NO_DATA) return;  // no adapter with an address: an empty list, no error
    if (rc != NO_ERROR) Sysutils::RaiseSystemError(L"Cannot list the network adapters", rc);

    for (auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter;
         adapter = adapter->Next) {
        if (adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK) continue;
        const bool up = adapter->OperStatus == IfOperStatusUp;
        for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
            const SOCKADDR* address = unicast->Address.lpSockaddr;
            const int length = unicast->Address.iSockaddrLength;
            if (!address || address->sa_family != AF_INET || length < static_cast<int>(sizeof(sockaddr_in)))
                continue;
            const auto* in4 = reinterpret_cast<const sockaddr_in*>(address);
            unsigned char bytes[4];
            std::memcpy(bytes, &in4->sin_addr, sizeof bytes);
            const int prefix = unicast->OnLinkPrefixLength <= 32 ? unicast->OnLinkPrefixLength
                                                                 : TIdStackLocalAddress::kUnknownPrefix;
            list.Add(TIdIPVersion::Id_IPv4, IPv4ToText(bytes), prefix, up);
        }
    }
}
