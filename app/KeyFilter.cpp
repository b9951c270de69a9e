#include "KeyFilter.h"

wchar_t FilterAddressKey(wchar_t key) noexcept {
    const auto code = static_cast<unsigned>(static_cast<char16_t>(key));
    const bool digit = code - u'0' <= 9u;  // unsigned: codes below '0' wrap to large values
    if (digit || code == u'.' || code == u'\b') return key;
    return 0;
}
