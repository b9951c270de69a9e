// The PC's local IPv4 addresses as the one line the window shows.
#pragma once

#include <string>
#include <vector>

#include "IdStack.h"
#include "UnicodeString.h"

// Every IPv4 address the stack lists, in its order, joined by nine blanks; empty when there is
// none. A failing listing raises EOSError. Does not touch the window.
UnicodeString GetLocalAddressText();

// The joining step over a filled list: IPv6 items are skipped, and the separator goes only
// between addresses taken, so leading IPv6 items leave no blanks in front.
UnicodeString JoinIPv4Addresses(const TIdStackLocalAddressList& list);

// The IPv4 addresses of the same listing, one item each; empty when the listing fails.
std::vector<std::wstring> GetLocalIPv4Addresses() noexcept;
// The same items with their prefix and state (the network search starts from them).
std::vector<TIdStackLocalAddress> GetLocalIPv4Items() noexcept;
