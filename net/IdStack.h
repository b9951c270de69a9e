// Our small stand-in for the socket stack's local-address listing: the stack object GStack and
// the collection of local addresses it fills.
#pragma once

#include <functional>
#include <vector>

#include "UnicodeString.h"

enum class TIdIPVersion { Id_IPv4, Id_IPv6 };

// One local address of the host: a plain value, valid after the listing has returned.
class TIdStackLocalAddress {
public:
    static constexpr int kUnknownPrefix = -1;
    TIdStackLocalAddress(TIdIPVersion version, UnicodeString address, int prefixLength = kUnknownPrefix,
                         bool up = true)
        : version_(version), address_(std::move(address)), prefixLength_(prefixLength), up_(up) {}
    TIdIPVersion IPVersion() const noexcept { return version_; }
    const UnicodeString& IPAddress() const noexcept { return address_; }  // dotted decimal for IPv4
    // The length of the on-link prefix (24 for a netmask 255.255.255.0); kUnknownPrefix when the
    // platform gave none.
    int PrefixLength() const noexcept { return prefixLength_; }
    // Whether the adapter is up and connected.
    bool Up() const noexcept { return up_; }

private:
    TIdIPVersion version_;
    UnicodeString address_;
    int prefixLength_;
    bool up_;
};

// The collection the stack fills; it owns its items.
class TIdStackLocalAddressList {
public:
    int GetCount() const noexcept { return static_cast<int>(items_.size()); }
    // The item at `index`, from 0; an index outside the list raises an Exception.
    const TIdStackLocalAddress& GetAddress(int index) const;
    void Add(TIdIPVersion version, UnicodeString address,
             int prefixLength = TIdStackLocalAddress::kUnknownPrefix, bool up = true);

private:
    std::vector<TIdStackLocalAddress> items_;
};

class TIdStack {
public:
    // Adds to `list` one item per local address of the host, in the platform's order. A failure of
    // the platform raises EOSError with the system's message.
    void GetLocalAddressList(TIdStackLocalAddressList& list);

    // Seam for tests: replaces the platform listing (an empty function restores it).
    // Returns the listing that was in place.
    using LocalAddressLister = std::function<void(TIdStackLocalAddressList&)>;
    static LocalAddressLister SetLocalAddressLister(LocalAddressLister lister);
};

// The process-wide stack object.
extern TIdStack* const GStack;

// The platform listing behind GetLocalAddressList: GetAdaptersAddresses on Windows, getifaddrs
// elsewhere. The IPv4 unicast addresses of every adapter but the loopback one, in the platform's
// order: nothing here reads another kind.
void PlatformLocalAddresses(TIdStackLocalAddressList& list);

// Dotted decimal from network-order bytes.
UnicodeString IPv4ToText(const unsigned char (&bytes)[4]);
