#include "IdStack.h"

#include <string>
#include <utility>

#include "Exception.h"

TIdStack* GStack = nullptr;

namespace {

int usageCount = 0;

TIdStack::LocalAddressLister& CurrentLister() {
    static TIdStack::LocalAddressLister lister;
    return lister;
}

}  // namespace

const TIdStackLocalAddress& TIdStackLocalAddressList::GetAddress(int index) const {
    if (index < 0 || index >= Count()) {
        throw Exception(L"List index out of bounds (" + std::to_wstring(index) + L")");
    }
    return items_[static_cast<size_t>(index)];
}

void TIdStackLocalAddressList::Add(TIdIPVersion version, UnicodeString address, int prefixLength, bool up) {
    items_.emplace_back(version, std::move(address), prefixLength, up);
}

void TIdStack::IncUsage() {
    static TIdStack stack;  // lives until the process ends
    GStack = &stack;
    ++usageCount;
}

void TIdStack::DecUsage() noexcept {
    if (usageCount > 0) --usageCount;
}

int TIdStack::UsageCount() noexcept { return usageCount; }

void TIdStack::GetLocalAddressList(TIdStackLocalAddressList& list) {
    list.Clear();
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

UnicodeString IPv6ToText(const unsigned char (&bytes)[16]) {
    unsigned groups[8];
    for (int i = 0; i < 8; ++i) groups[i] = (unsigned{bytes[2 * i]} << 8) | bytes[2 * i + 1];

    // The first longest run of at least two zero groups becomes "::".
    int runStart = -1, runLength = 0;
    for (int i = 0; i < 8;) {
        if (groups[i] != 0) {
            ++i;
            continue;
        }
        int j = i;
        while (j < 8 && groups[j] == 0) ++j;
        if (j - i > runLength && j - i >= 2) {
            runStart = i;
            runLength = j - i;
        }
        i = j;
    }

    static constexpr wchar_t kHex[] = L"0123456789abcdef";
    std::wstring text;
    for (int i = 0; i < 8; ++i) {
        if (i == runStart) {
            text += L"::";
            i += runLength - 1;
            continue;
        }
        if (!text.empty() && text.back() != L':') text += L':';
        bool started = false;
        for (int shift = 12; shift >= 0; shift -= 4) {
            unsigned digit = (groups[i] >> shift) & 0xF;
            if (digit != 0 || started || shift == 0) {
                text += kHex[digit];
                started = true;
            }
        }
    }
    return text;
}
