#include "LocalAddress.h"

UnicodeString GetLocalAddressText() {
    TIdStackLocalAddressList list;
    {
        TIdStackUsage usage;
        GStack->GetLocalAddressList(list);
    }
    return JoinIPv4Addresses(list);
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
