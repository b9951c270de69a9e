#include "IdStack.h"

#include <string>
#include <utility>

#include "Exception.h"

namespace {

TIdStack stack;

TIdStack::LocalAddressLister& CurrentLister() {
    static TIdStack::LocalAddressLister lister;
    return lister;
}

}  // namespace

TIdStack* const GStack = &stack;

const TIdStackLocalAddress& TIdStackLocalAddressList::GetAddress(int index) const {
    if (index < 0 || index >= GetCount()) {
        throw Exception(L"List index out of bounds (" + std::to_wstring(index) + L")");
    }
    return items_[static_cast<size_t>(index)];
}

void TIdStackLocalAddressList::Add(TIdIPVersion version, UnicodeString address, int prefixLength, bool up) {
    items_.emplace_back(version, std::move(address), prefixLength, up);
}

void TIdStack::GetLocalAddressList(TIdStackLocalAddressList& list) {
    if (const auto& lister = CurrentLister()) {
        lister(list);
    } else {
        PlatformLocalAddresses(list);
    }
}

TIdStack::LocalAddressLister TIdStack::SetLocalAddressLister(LocalAddressLister lister) {
    return std::exchange(CurrentLister(), std::move(lister));
}

UnicodeString IPv4ToText(const unsigned char (&bytes)[4]) {
    std::wstring text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) text += L'.';
        text += std::to_wstring(bytes[i]);
    }
    return text;
}
