// The TV-address field takes digits, "." and backspace; every other character is dropped.
#pragma once

// Returns `key` when it may be typed into the address field, else 0.
wchar_t FilterAddressKey(wchar_t key) noexcept;
