#include "LocalAddress.h"

namespace {

TIdStackLocalAddressList ListLocalAddresses() {
    TIdStackLocalAddressList list;
    GStack->GetLocalAddressList(list);
    return list;
}

// The IPv4 items of the listing, in its order.
std::vector<TIdStackLocalAddress> IPv4ItemsOf(const TIdStackLocalAddressList& list) {
    std::vector<TIdStackLocalAddress> out;
    for (int i = 0; i < list.GetCount(); ++i)
        if (list.GetAddress(i).IPVersion() == TIdIPVersion::Id_IPv4) out.push_back(list.GetAddress(i));
    return out;
}

std::vector<std::wstring> IPv4Of(const TIdStackLocalAddressList& list) {
    std::vector<std::wstring> out;
    for (const TIdStackLocalAddress& item : IPv4ItemsOf(list)) out.push_back(item.IPAddress().str());
    return out;
}

}  // namespace

UnicodeString GetLocalAddressText() { return JoinIPv4Addresses(ListLocalAddresses()); }

std::vector<std::wstring> GetLocalIPv4Addresses() noexcept {
    try {
        return IPv4Of(ListLocalAddresses());
    } catch (...) {
        return {};  // the box then names no address rather than failing
    }
}

std::vector<TIdStackLocalAddress> GetLocalIPv4Items() noexcept {
    try {
        return IPv4ItemsOf(ListLocalAddresses());
    } catch (...) {
        return {};  // nothing to search from rather than a failure
    }
}

UnicodeString JoinIPv4Addresses(const TIdStackLocalAddressList& list) {
    static constexpr wchar_t kSeparator[] = L"         ";  // nine blanks
    std::wstring text;
    for (const std::wstring& address : IPv4Of(list)) text += (text.empty() ? L"" : kSeparator) + address;
    return UnicodeString(std::move(text));
}
