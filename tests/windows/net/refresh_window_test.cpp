// The host-address band: the label at start, after a press of the Refresh button, and when the
// listing fails; then the platform listing itself (GetAdaptersAddresses under Wine).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Exception.h"
#include "Mainwin.h"
#include "WindowTestSupport.h"
#include "net/IdStack.h"
#include "net/LocalAddress.h"

namespace {

using V = TIdIPVersion;
const std::wstring kNine(9, L' ');

using windowtest::Pump;
using windowtest::WindowText;

struct Box {
    std::wstring text;
    bool error;
};

class HostAddressWindow : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = TIdStack::SetLocalAddressLister([this](TIdStackLocalAddressList& list) {
            ++listings_;
            if (failing_) throw EOSError(L"The network subsystem has failed.");
            for (const auto& [version, text] : answer_) list.Add(version, text);
        });
        Application->MessageHook = [this](const UnicodeString& text, bool error) {
            boxes_.push_back({text.str(), error});
        };
        Application->Initialize();
    }
    void TearDown() override {
        Application->ResetForTests();
        mainForm = nullptr;
        Application->MessageHook = nullptr;
        TIdStack::SetLocalAddressLister(std::move(previous_));
    }
    void Start() {
        Application->CreateForm(mainForm);
        mainForm->Show();
        Pump();
    }
    void PressRefresh() {
        SendMessageW(mainForm->refreshIpBTN->Handle(), BM_CLICK, 0, 0);
        Pump();
    }
    std::wstring Label() const { return WindowText(mainForm->ipValLBL->Handle()); }

    TIdStack::LocalAddressLister previous_;
    std::vector<std::pair<V, std::wstring>> answer_;
    bool failing_ = false;
    int listings_ = 0;
    std::vector<Box> boxes_;
};

TEST_F(HostAddressWindow, StartShowsTheIPv4AddressesOnly) {
    answer_ = {{V::Id_IPv6, L"fe80::1"},
               {V::Id_IPv4, L"192.0.2.10"},
               {V::Id_IPv6, L"2001:db8::7"},
               {V::Id_IPv4, L"198.51.100.7"}};
    Start();
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(Label(), L"192.0.2.10" + kNine + L"198.51.100.7");
}

TEST_F(HostAddressWindow, RefreshShowsTheNewListAndNothingChangesWithoutIt) {
    answer_ = {{V::Id_IPv4, L"192.0.2.10"}};
    Start();
    ASSERT_EQ(Label(), L"192.0.2.10");

    answer_ = {{V::Id_IPv4, L"192.0.2.10"}, {V::Id_IPv4, L"203.0.113.4"}};
    Pump();
    EXPECT_EQ(Label(), L"192.0.2.10");  // nothing is watched: only a press asks again

    PressRefresh();
    EXPECT_EQ(Label(), L"192.0.2.10" + kNine + L"203.0.113.4");

    answer_ = {{V::Id_IPv6, L"fe80::1"}};
    PressRefresh();
    EXPECT_EQ(Label(), L"");
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(HostAddressWindow, FailingRefreshShowsTheErrorAndKeepsTheLabel) {
    answer_ = {{V::Id_IPv4, L"192.0.2.10"}};
    Start();

    failing_ = true;
    PressRefresh();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_TRUE(boxes_[0].error);
    EXPECT_EQ(boxes_[0].text, L"The network subsystem has failed.");
    EXPECT_EQ(Label(), L"192.0.2.10");

    // The window stays usable: the next press works again.
    failing_ = false;
    answer_ = {{V::Id_IPv4, L"203.0.113.4"}};
    PressRefresh();
    EXPECT_EQ(Label(), L"203.0.113.4");
    EXPECT_EQ(boxes_.size(), 1u);
}

TEST_F(HostAddressWindow, FailingListingAtStartLeavesTheLabelEmpty) {
    failing_ = true;
    Start();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_TRUE(boxes_[0].error);
    EXPECT_EQ(boxes_[0].text, L"The network subsystem has failed.");
    EXPECT_EQ(Label(), L"");
    EXPECT_TRUE(IsWindowVisible(mainForm->Handle()));
}

// The system's own listing, as the installer uses it.
TEST(PlatformListing, GivesWellFormedAddressesWithoutLoopback) {
    TIdStackLocalAddressList list;
    ASSERT_NO_THROW(PlatformLocalAddresses(list));
    for (int i = 0; i < list.GetCount(); ++i) {
        const auto& item = list.GetAddress(i);
        const std::wstring& text = item.IPAddress().str();
        SCOPED_TRACE(ToUtf8(text));
        if (item.IPVersion() == V::Id_IPv6) {
            EXPECT_NE(text.find(L':'), std::wstring::npos);
            EXPECT_NE(text, L"::1");
            continue;
        }
        EXPECT_NE(text.rfind(L"127.", 0), 0u);
        int dots = 0;
        for (wchar_t c : text) {
            dots += c == L'.';
            EXPECT_TRUE(c == L'.' || (c >= L'0' && c <= L'9'));
        }
        EXPECT_EQ(dots, 3);
    }
    std::wstring joined;
    ASSERT_NO_THROW(joined = GetLocalAddressText().str());
    EXPECT_NE(joined.rfind(L" ", 0), 0u);  // never starts with blanks
    std::printf("host addresses under this system: \"%s\"\n", ToUtf8(joined).c_str());
}

}  // namespace

// Test programs are built with -municode: the entry point is wmain.
int wmain(int argc, wchar_t** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
