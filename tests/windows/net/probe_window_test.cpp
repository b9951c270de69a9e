// The TV probe on the real window under Wine, against small TVs of our own on 127.0.0.1 (a
// thread each): every answer a port can give, every bad REST answer, each bounded; the window
// answers while the probe waits, and a quitting application ends it. The network search over
// small hosts of our own on 127.0.0.0/8.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "Mainwin.h"
#include "WindowTestSupport.h"
#include "net/IdStack.h"
#include "net/TvProbeWin.h"
#include "net/TvSearchWin.h"

namespace {

using namespace tvprobe;
using Clock = std::chrono::steady_clock;

const std::string kJson =
    R"j({"device":{"OS":"Tizen","PowerState":"on","developerIP":"192.168.1.20","developerMode":"1",)j"
    R"j("ip":"127.0.0.1","modelName":"UE43RU7400UXRU","name":"[TV] Samsung 7 Series (43)"},)j"
    R"j("name":"[TV] Samsung 7 Series (43)","type":"Samsung SmartTV","version":"2.0.25"})j";

std::string Http(const std::string& body, const std::string& head = "HTTP/1.1 200 OK\r\n",
                 bool length = true) {
    return head + (length ? "Content-Length: " + std::to_string(body.size()) + "\r\n" : "") + "\r\n" + body;
}

// One port of a TV on 127.0.0.1: how it treats a connection.
enum class Port {
    Refuses,       // bound, not listening
    Silent,        // its accept queue is full: connections are never taken
    Holds,         // accepts and keeps the connection open
    ClosesAtOnce,  // accepts and closes
    Answers,       // accepts, reads the request, waits `delayMs`, sends `bytes`, closes (or holds)
    Floods,        // accepts and sends without end
};

struct Behaviour {
    Port how;
    std::string bytes = {};
    int delayMs = 0;
    bool holdAfter = false;
};

sockaddr_in At(const char* address, std::uint16_t port) {
    sockaddr_in at{};
    at.sin_family = AF_INET;
    ::inet_pton(AF_INET, address, &at.sin_addr);
    at.sin_port = htons(port);
    return at;
}

// A port of a host on 127.0.0.0/8 (127.0.0.1 unless given; a free port unless given).
class FakePort {
public:
    explicit FakePort(const Behaviour& b, const char* address = "127.0.0.1", std::uint16_t port = 0)
        : how_(b.how), bytes_(b.bytes), delayMs_(b.delayMs), holdAfter_(b.holdAfter) {
        const Port how = b.how;
        listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in at = At(address, port);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at);
        int length = sizeof at;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &length);
        port_ = ntohs(at.sin_port);
        if (how == Port::Refuses) return;
        ::listen(listener_, how == Port::Silent ? 0 : 8);
        if (how == Port::Silent) {
            // One connection nobody accepts fills a queue of length 0: later SYNs are dropped.
            filler_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            ::connect(filler_, reinterpret_cast<sockaddr*>(&at), sizeof at);
            return;
        }
        thread_ = std::thread([this] { Serve(); });
    }
    ~FakePort() {
        stop_ = true;
        ::closesocket(listener_);  // ends a waiting accept
        if (thread_.joinable()) thread_.join();
        for (SOCKET s : held_) ::closesocket(s);
        if (filler_ != INVALID_SOCKET) ::closesocket(filler_);
    }
    std::uint16_t port() const { return port_; }

private:
    void Serve() {
        for (;;) {
            SOCKET s = ::accept(listener_, nullptr, nullptr);
            if (s == INVALID_SOCKET || stop_) {
                if (s != INVALID_SOCKET) ::closesocket(s);
                return;
            }
            if (how_ == Port::ClosesAtOnce) {
                ::closesocket(s);
                continue;
            }
            if (how_ == Port::Answers) {
                std::string request;
                char buffer[1024];
                while (request.find("\r\n\r\n") == std::string::npos) {
                    const int n = ::recv(s, buffer, sizeof buffer, 0);
                    if (n <= 0) break;
                    request.append(buffer, size_t(n));
                }
                for (int waited = 0; waited < delayMs_ && !stop_; waited += 20) ::Sleep(20);
                ::send(s, bytes_.data(), int(bytes_.size()), 0);
                if (!holdAfter_) {
                    ::shutdown(s, SD_SEND);
                    ::Sleep(200);  // let the bytes go before the socket does
                    ::closesocket(s);
                    continue;
                }
            }
            if (how_ == Port::Floods) {
                const std::string chunk(16 * 1024, '{');
                while (!stop_ && ::send(s, chunk.data(), int(chunk.size()), 0) > 0) {}
            }
            held_.push_back(s);
        }
    }

    Port how_;
    std::string bytes_;
    int delayMs_;
    bool holdAfter_;
    SOCKET listener_ = INVALID_SOCKET;
    SOCKET filler_ = INVALID_SOCKET;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::vector<SOCKET> held_;
    std::thread thread_;
};

class TvProbeWindow : public ::testing::Test {
protected:
    void SetUp() override {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        previous_ = TIdStack::SetLocalAddressLister(
            [](TIdStackLocalAddressList& list) { list.Add(TIdIPVersion::Id_IPv4, L"192.168.1.20"); });
        Application->MessageHook = [](const UnicodeString&, bool) {};
        Application->Initialize();
        Application->CreateForm(mainForm);
        mainForm->Show();
        windowtest::Pump();
    }
    void TearDown() override {
        Application->ResetForTests();
        mainForm = nullptr;
        Application->MessageHook = nullptr;
        TIdStack::SetLocalAddressLister(std::move(previous_));
        WSACleanup();
    }
    TIdStack::LocalAddressLister previous_;
};

// Bounds wide enough for a loaded machine where an answer is expected; tight where the fake TV
// never answers in time anyway.
ProbeOptions Generous(const FakePort& bridge, const FakePort& rest) {
    ProbeOptions o;
    o.bridgePort = bridge.port();
    o.restPort = rest.port();
    o.connectMs = 10000;
    o.closeWatchMs = 3000;
    o.restMs = 15000;
    return o;
}

TEST_F(TvProbeWindow, EveryAnswerOfBothPorts) {
    const std::string big(70 * 1024, ' ');
    struct Row {
        const char* what;
        Behaviour bridge, rest;
        DWORD connectMs, restMs;  // 0: generous
        PortAnswer port;
        bool device;
    };
    const Row rows[] = {
        {"answers, port kept open", Behaviour{Port::Holds}, Behaviour{Port::Answers, Http(kJson), 0, true}, 0,
         0, PortAnswer::Open, true},
        {"turned away, answers", Behaviour{Port::ClosesAtOnce},
         Behaviour{Port::Answers, Http(kJson, "HTTP/1.1 200 OK\r\n", false)}, 0, 0, PortAnswer::ClosedAtOnce,
         true},
        {"refused, no REST", Behaviour{Port::Refuses}, Behaviour{Port::Refuses}, 0, 0, PortAnswer::Refused,
         false},
        {"silent", Behaviour{Port::Silent}, Behaviour{Port::Silent}, 1000, 1500, PortAnswer::NoAnswer, false},
        {"REST takes it and says nothing", Behaviour{Port::ClosesAtOnce}, Behaviour{Port::Holds}, 0, 1500,
         PortAnswer::ClosedAtOnce, false},
        {"REST slow", Behaviour{Port::Refuses}, Behaviour{Port::Answers, Http(kJson), 4000}, 0, 1500,
         PortAnswer::Refused, false},
        {"too large", Behaviour{Port::Refuses}, Behaviour{Port::Answers, Http(kJson + big), 0, true}, 0, 0,
         PortAnswer::Refused, false},
        {"floods", Behaviour{Port::Refuses}, Behaviour{Port::Floods}, 0, 0, PortAnswer::Refused, false},
        {"malformed", Behaviour{Port::Refuses},
         Behaviour{Port::Answers, Http(kJson, "HTTP/1.1 OK\r\nContent-Length: many\r\n", false)}, 0, 0,
         PortAnswer::Refused, false},
        {"chunked", Behaviour{Port::Refuses},
         Behaviour{Port::Answers,
                   Http("a\r\n" + kJson.substr(0, 10) + "\r\n" + kJson.substr(10) + "\r\n0\r\n\r\n",
                        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n", false)},
         0, 0, PortAnswer::Refused, false},
        {"not JSON", Behaviour{Port::Refuses},
         Behaviour{Port::Answers, Http("<html>Samsung</html>"), 0, true}, 0, 0, PortAnswer::Refused, false},
        {"404 of an older set", Behaviour{Port::ClosesAtOnce},
         Behaviour{Port::Answers, Http("Not Found", "HTTP/1.1 404 Not Found\r\n"), 0, true}, 0, 0,
         PortAnswer::ClosedAtOnce, false},
    };
    for (const Row& row : rows) {
        FakePort bridge(row.bridge), rest(row.rest);
        ProbeOptions options = Generous(bridge, rest);
        if (row.connectMs) options.connectMs = row.connectMs;
        if (row.restMs) options.restMs = row.restMs;
        const auto t0 = Clock::now();
        const ProbeResult result = ProbeTv("127.0.0.1", options);
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
        EXPECT_EQ(result.port, row.port) << row.what;
        EXPECT_EQ(result.device.has_value(), row.device) << row.what;
        EXPECT_FALSE(result.quitting) << row.what;
        // Bounded: never longer than the longer of the two bounds, with room for a slow machine.
        EXPECT_LT(took, long(std::max(options.connectMs + options.closeWatchMs, options.restMs)) + 5000)
            << row.what;
        if (row.device && result.device) {
            EXPECT_EQ(result.device->modelName, "UE43RU7400UXRU") << row.what;
            EXPECT_EQ(result.device->developerIP, "192.168.1.20") << row.what;
        }
    }
}

TEST_F(TvProbeWindow, NoSocketForAnythingButADottedAddress) {
    for (const char* address : {"", "localhost", "tv.local", "127.0.0.1:26101", "999.1.1.1"}) {
        const auto t0 = Clock::now();
        EXPECT_EQ(ProbeTv(address).port, PortAnswer::NoAnswer) << address;
        EXPECT_LT(Clock::now() - t0, std::chrono::seconds(1)) << address;  // nothing was waited for
    }
}

// A message sent to the window well after the probe began waiting on a slow TV is answered
// before the probe ends: its waits dispatch the window's messages.
TEST_F(TvProbeWindow, TheWindowAnswersWhileItWaits) {
    FakePort bridge({Port::Silent});
    FakePort rest({Port::Answers, Http(kJson), 8000});
    ProbeOptions options = Generous(bridge, rest);
    options.connectMs = 3000;
    options.restMs = 3000;
    std::atomic<bool> stop{false};
    std::atomic<Clock::rep> answeredInTheMiddle{0};
    const HWND window = mainForm->Handle();
    const auto start = Clock::now();
    std::thread sender([&] {
        while (!stop) {
            const auto sent = Clock::now();
            DWORD_PTR r = 0;
            if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &r) &&
                sent - start > std::chrono::milliseconds(1000) && answeredInTheMiddle == 0)
                answeredInTheMiddle = Clock::now().time_since_epoch().count();
            Sleep(20);
        }
    });
    const ProbeResult result = ProbeTv("127.0.0.1", options);
    const auto ended = Clock::now().time_since_epoch().count();
    stop = true;
    windowtest::Pump();
    sender.join();
    EXPECT_EQ(result.port, PortAnswer::NoAnswer);
    EXPECT_FALSE(result.device);
    ASSERT_NE(answeredInTheMiddle.load(), 0);
    EXPECT_LT(answeredInTheMiddle.load(), ended);
}

TEST_F(TvProbeWindow, AQuittingApplicationEndsIt) {
    FakePort bridge({Port::Silent}), rest({Port::Silent});
    ProbeOptions options = Generous(bridge, rest);
    Application->Terminate();  // the quit is posted: the probe's first look at the queue sees it
    const auto t0 = Clock::now();
    const ProbeResult result = ProbeTv("127.0.0.1", options);
    EXPECT_TRUE(result.quitting);
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(5));  // not the 10 s connect bound
}

// Answers every M-SEARCH sent to it (on 127.0.0.1) for a TV service, from 127.0.0.1. From no other
// address: Wine binds a datagram socket to the interface that holds the address it is given, so
// what it sends leaves from the address the system picks.
class FakeSsdp {
public:
    FakeSsdp() {
        socket_ = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        sockaddr_in at = At("127.0.0.1", 0);
        ::bind(socket_, reinterpret_cast<sockaddr*>(&at), sizeof at);
        int length = sizeof at;
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&at), &length);
        port_ = ntohs(at.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~FakeSsdp() {
        ::closesocket(socket_);  // ends a waiting recvfrom
        thread_.join();
    }
    std::uint16_t port() const { return port_; }

private:
    void Serve() {
        const std::string answer =
            "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=1800\r\nST: "
            "urn:samsung.com:device:RemoteControlReceiver:1\r\n"
            "USN: uuid:0ee6b280::urn:samsung.com:device:RemoteControlReceiver:1\r\n\r\n";
        for (;;) {
            char datagram[2048];
            sockaddr_in peer{};
            int length = sizeof peer;
            if (::recvfrom(socket_, datagram, sizeof datagram, 0, reinterpret_cast<sockaddr*>(&peer),
                           &length) < 0)
                return;
            ::sendto(socket_, answer.data(), int(answer.size()), 0, reinterpret_cast<sockaddr*>(&peer),
                     sizeof peer);
        }
    }
    SOCKET socket_;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

std::vector<std::string> Addresses(const tvsearch::SearchResult& r) {
    std::vector<std::string> out;
    for (const auto& tv : r.tvs) out.push_back(tv.address);
    return out;
}

// Hosts 127.0.0.2 to .6 asked of a link 127.0.0.0/28, as an adapter's /28 would give them (this
// PC at .9): a TV, a soundbar with the same service, an older web server, a silent host, nothing.
// A TV at 127.0.0.1, on the link but not among the hosts asked, answers SSDP.
TEST_F(TvProbeWindow, TheSearchFindsTheTvsAndEndsOnceTheSsdpTvHasAnswered) {
    using tvsearch::Network;
    auto tvJson = [](const char* ip) {
        return Http(R"j({"device":{"type":"Samsung SmartTV","modelName":"UE43RU7400UXRU","ip":")j" +
                    std::string(ip) + R"j(","name":"[TV] Samsung 7 Series (43)","developerMode":"1"}})j");
    };
    // A free port of 127.0.0.1, where other tests bind too; nobody binds the other addresses.
    FakePort onSsdp({Port::Answers, tvJson("127.0.0.1")});
    const std::uint16_t port = onSsdp.port();
    FakePort tv({Port::Answers, tvJson("127.0.0.2")}, "127.0.0.2", port);
    FakePort soundbar({Port::Answers, Http(R"j({"device":{"type":"Samsung Speaker","name":"Soundbar"}})j")},
                      "127.0.0.3", port);
    FakePort web({Port::Answers, Http("Not Found", "HTTP/1.1 404 Not Found\r\n")}, "127.0.0.4", port);
    FakePort silent({Port::Silent}, "127.0.0.5", port);
    FakeSsdp ssdp;
    auto ip = [](const char* text) { return *ParseIPv4(text); };
    const Network network{ip("127.0.0.9"), ip("127.0.0.0"), ip("127.0.0.15"), ip("127.0.0.2"),
                          ip("127.0.0.6")};

    tvsearch::SearchOptions options;
    options.restPort = port;
    options.ssdpAddress = "127.0.0.1";
    options.ssdpPort = ssdp.port();
    options.boundMs = 20000;
    auto t0 = Clock::now();
    tvsearch::SearchResult found = tvsearch::SearchNetworks({network}, options);
    EXPECT_EQ(Addresses(found), (std::vector<std::string>{"127.0.0.1", "127.0.0.2"}));
    ASSERT_FALSE(found.tvs.empty());
    EXPECT_EQ(found.tvs[0].device.modelName, "UE43RU7400UXRU");
    EXPECT_EQ(found.hostsAsked, 6u);  // five, and the one on the link that SSDP named
    EXPECT_EQ(found.ssdpHosts, 1u);
    EXPECT_FALSE(found.quitting);
    // The silent host never answers: the search ended on the TVs' SSDP answers, long before its bound.
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(options.boundMs / 2));

    // With no SSDP answer, the silent host holds the search to its bound.
    options.ssdpPort = 9;  // nothing listens there
    options.boundMs = 2000;
    t0 = Clock::now();
    found = tvsearch::SearchNetworks({network}, options);
    EXPECT_EQ(Addresses(found), std::vector<std::string>{"127.0.0.2"});
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(options.boundMs - 200));  // the clock's steps

    // No network, no socket: at once.
    EXPECT_EQ(tvsearch::SearchNetworks({}, options).hostsAsked, 0u);

    // A quitting application ends it, nothing found.
    options.boundMs = 20000;
    Application->Terminate();
    t0 = Clock::now();
    found = tvsearch::SearchNetworks({network}, options);
    EXPECT_TRUE(found.quitting);
    EXPECT_TRUE(found.tvs.empty());
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(options.boundMs / 2));
}

}  // namespace
