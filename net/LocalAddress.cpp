#include "LocalAddress.h"

namespace {

TIdStackLocalAddressList ListLocalAddresses() {
    TIdStackLocalAddressList list;
    TIdStackUsage usage;
    GStack->GetLocalAddressList(list);
    return list;
}

}  // namespace

UnicodeString GetLocalAddressText() { return JoinIPv4Addresses(ListLocalAddresses()); }

std::vector<std::wstring> GetLocalIPv4Addresses() noexcept {
    std::vector<std::wstring> out;
    try {
        const TIdStackLocalAddressList list = ListLocalAddresses();
        for (int i = 0; i < list.Count(); ++i)
            if (list.GetAddress(i).IPVersion() == TIdIPVersion::Id_IPv4)
                out.push_back(list.GetAddress(i).IPAddress().str());
    } catch (...) {
        out.clear();  // the box then names no address rather than failing
    }
    return out;
}

UnicodeString JoinIPv4Addresses(const TIdStackLocalAddressList& list) {
    static constexpr wchar_t kSeparator[] = L"         ";  // nine blanks
    UnicodeString text;
    int taken = 0;
    for (int i = 0; i < list.Count(); ++i) {
        const TIdStackLocalAddress& item = list.GetAddress(i);
        if (item.IPVersion() != TIdIPVersion::Id_IPv4) continue;
        if (taken > 0) text += kSeparator;
        text += item.IPAddress();
        ++taken;
    }
    return text;
}
