#include "LocalAddress.h"

namespace {

TIdStackLocalAddressList ListLocalAddresses() {
    TIdStackLocalAddressList list;
    TIdStackUsage usage;
    GStack->GetLocalAddressList(list);
    return list;
}

// The IPv4 items of the listing, in its order.
std::vector<std::wstring> IPv4Of(const TIdStackLocalAddressList& list) {
    std::vector<std::wstring> out;
    for (int i = 0; i < list.Count(); ++i)
        if (list.GetAddress(i).IPVersion() == TIdIPVersion::Id_IPv4)
            out.push_back(list.GetAddress(i).IPAddress().str());
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

UnicodeString JoinIPv4Addresses(const TIdStackLocalAddressList& list) {
    static constexpr wchar_t kSeparator[] = L"         ";  // nine blanks
    std::wstring text;
    for (const std::wstring& address : IPv4Of(list)) text += (text.empty() ? L"" : kSeparator) + address;
    return UnicodeString(std::move(text));
}
