#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "Exception.h"
#include "net/IdStack.h"
#include "net/LocalAddress.h"

namespace {

using V = TIdIPVersion;
const std::wstring kNine(9, L' ');

TIdStackLocalAddressList Listing(std::vector<std::pair<V, const wchar_t*>> items) {
    TIdStackLocalAddressList list;
    for (auto& [version, text] : items) list.Add(version, text);
    return list;
}

// Puts a synthetic listing in place of the platform's for one test.
class ListerScope {
public:
    explicit ListerScope(TIdStack::LocalAddressLister lister)
        : previous_(TIdStack::SetLocalAddressLister(std::move(lister))) {}
    ~ListerScope() { TIdStack::SetLocalAddressLister(std::move(previous_)); }

private:
    TIdStack::LocalAddressLister previous_;
};

TEST(JoinIPv4Addresses, NoneGivesEmptyText) { EXPECT_EQ(JoinIPv4Addresses(Listing({})), L""); }

TEST(JoinIPv4Addresses, OneAddressStandsAlone) {
    EXPECT_EQ(JoinIPv4Addresses(Listing({{V::Id_IPv4, L"192.168.1.20"}})), L"192.168.1.20");
}

TEST(JoinIPv4Addresses, ThreeAreSeparatedByNineBlanks) {
    auto list =
        Listing({{V::Id_IPv4, L"10.0.0.5"}, {V::Id_IPv4, L"192.168.1.20"}, {V::Id_IPv4, L"172.16.0.1"}});
    EXPECT_EQ(JoinIPv4Addresses(list).str(), L"10.0.0.5" + kNine + L"192.168.1.20" + kNine + L"172.16.0.1");
}

TEST(JoinIPv4Addresses, LeadingIPv6LeavesNoBlanksInFront) {
    auto list = Listing({{V::Id_IPv6, L"fe80::1"},
                         {V::Id_IPv6, L"2001:db8::5"},
                         {V::Id_IPv4, L"192.168.1.20"},
                         {V::Id_IPv6, L"fe80::2"},
                         {V::Id_IPv4, L"10.0.0.5"},
                         {V::Id_IPv6, L"fe80::3"}});
    EXPECT_EQ(JoinIPv4Addresses(list).str(), L"192.168.1.20" + kNine + L"10.0.0.5");
}

TEST(JoinIPv4Addresses, OnlyIPv6GivesEmptyText) {
    auto list = Listing({{V::Id_IPv6, L"fe80::1"}, {V::Id_IPv6, L"::1"}});
    EXPECT_EQ(JoinIPv4Addresses(list), L"");
}

TEST(LocalAddressList, IndexOutsideTheListRaises) {
    auto list = Listing({{V::Id_IPv4, L"10.0.0.5"}});
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetAddress(0).IPAddress(), L"10.0.0.5");
    EXPECT_THROW(list.GetAddress(1), Exception);
    EXPECT_THROW(list.GetAddress(-1), Exception);
}

TEST(GetLocalAddressText, JoinsWhatTheStackLists) {
    ListerScope scope([&](TIdStackLocalAddressList& list) {
        list.Add(V::Id_IPv6, L"fe80::1");
        list.Add(V::Id_IPv4, L"192.168.1.20");
        list.Add(V::Id_IPv4, L"10.0.0.5");
    });
    EXPECT_EQ(GetLocalAddressText().str(), L"192.168.1.20" + kNine + L"10.0.0.5");
    EXPECT_NE(GStack, nullptr);
}

TEST(GetLocalAddressText, AsksAfreshEveryTime) {
    std::vector<const wchar_t*> answers{L"10.0.0.5", L"10.0.0.6"};
    size_t call = 0;
    ListerScope scope([&](TIdStackLocalAddressList& list) { list.Add(V::Id_IPv4, answers.at(call++)); });
    EXPECT_EQ(GetLocalAddressText(), L"10.0.0.5");
    EXPECT_EQ(GetLocalAddressText(), L"10.0.0.6");
}

TEST(GetLocalAddressText, FailingListingRaises) {
    ListerScope scope([](TIdStackLocalAddressList& list) {
        list.Add(V::Id_IPv4, L"10.0.0.5");  // a partial answer must not leak out
        throw EOSError(L"The network is down.");
    });
    try {
        GetLocalAddressText();
        FAIL() << "no exception";
    } catch (const EOSError& e) {
        EXPECT_EQ(e.Message(), L"The network is down.");
    }
}

TEST(AddressText, IPv4IsDottedDecimal) {
    const unsigned char a[4] = {192, 168, 1, 20}, b[4] = {0, 0, 0, 0}, c[4] = {255, 255, 255, 255};
    EXPECT_EQ(IPv4ToText(a), L"192.168.1.20");
    EXPECT_EQ(IPv4ToText(b), L"0.0.0.0");
    EXPECT_EQ(IPv4ToText(c), L"255.255.255.255");
}

TEST(PlatformListing, HostListingHasNoLoopbackAndWellFormedIPv4) {
    TIdStackLocalAddressList list;
    ASSERT_NO_THROW(PlatformLocalAddresses(list));
    for (int i = 0; i < list.GetCount(); ++i) {
        const auto& item = list.GetAddress(i);
        SCOPED_TRACE(ToUtf8(item.IPAddress().str()));
        EXPECT_FALSE(item.IPAddress().IsEmpty());
        if (item.IPVersion() != V::Id_IPv4) continue;
        EXPECT_NE(item.IPAddress().str().rfind(L"127.", 0), 0u);
        int dots = 0;
        for (wchar_t c : item.IPAddress().str()) {
            dots += c == L'.';
            EXPECT_TRUE(c == L'.' || (c >= L'0' && c <= L'9'));
        }
        EXPECT_EQ(dots, 3);
    }
}

}  // namespace
