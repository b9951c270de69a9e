// Figures of the TV probe (ProbeTv at the real bounds), against two TVs of our own on 127.0.0.1:
// one that answers (port 26101 closes at once, the REST service answers at once) and one that
// never does (both ports' accept queues full: every SYN is dropped, as for a TV that is off).
// For each: the probe's wall time, and the longest delay of the window in answering a message
// sent to it from another thread every few ms meanwhile.
//   probe_bench [--rows] [--runs N]
// With --search, the same for the network search (SearchTvs) on this PC's adapters, expecting
// that many TVs; bench/install/search_bench.py runs it on a LAN of its own and reads the line.
//   probe_bench --search TVS [--runs N]
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Forms.h"
#include "Prober.h"
#include "net/TvProbeWin.h"
#include "net/TvSearchWin.h"

namespace {

using bench::Clock;
using bench::Ms;
using bench::Prober;

const std::string kAnswer = [] {
    const std::string body =
        R"j({"device":{"OS":"Tizen","PowerState":"on","developerIP":"192.168.1.20","developerMode":"1",)j"
        R"j("ip":"127.0.0.1","modelName":"UE43RU7400UXRU","name":"[TV] Samsung 7 Series (43)"},)j"
        R"j("type":"Samsung SmartTV","version":"2.0.25"})j";
    return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}();

SOCKET Listen(std::uint16_t& port, int backlog) {
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at);
    int length = sizeof at;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&at), &length);
    port = ntohs(at.sin_port);
    ::listen(s, backlog);
    return s;
}

// A TV that answers: the bridge port closes every connection, the REST port answers each.
class AnsweringTv {
public:
    AnsweringTv() {
        bridge_ = Listen(bridgePort, 8);
        rest_ = Listen(restPort, 8);
        threads_.emplace_back([this] {
            for (SOCKET s; (s = ::accept(bridge_, nullptr, nullptr)) != INVALID_SOCKET;) ::closesocket(s);
        });
        threads_.emplace_back([this] {
            for (SOCKET s; (s = ::accept(rest_, nullptr, nullptr)) != INVALID_SOCKET;) {
                char buffer[2048];
                std::string request;
                while (request.find("\r\n\r\n") == std::string::npos) {
                    const int n = ::recv(s, buffer, sizeof buffer, 0);
                    if (n <= 0) break;
                    request.append(buffer, size_t(n));
                }
                ::send(s, kAnswer.data(), int(kAnswer.size()), 0);
                ::shutdown(s, SD_SEND);
                while (::recv(s, buffer, sizeof buffer, 0) > 0) {}
                ::closesocket(s);
            }
        });
    }
    ~AnsweringTv() {
        ::closesocket(bridge_);
        ::closesocket(rest_);
        for (auto& t : threads_) t.join();
    }
    std::uint16_t bridgePort = 0, restPort = 0;

private:
    SOCKET bridge_, rest_;
    std::vector<std::thread> threads_;
};

// A TV that never answers: queues of length 0, filled by one connection nobody accepts.
class SilentTv {
public:
    SilentTv() {
        for (auto* port : {&bridgePort, &restPort}) {
            SOCKET l = Listen(*port, 0);
            SOCKET filler = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            sockaddr_in at{};
            at.sin_family = AF_INET;
            at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            at.sin_port = htons(*port);
            ::connect(filler, reinterpret_cast<sockaddr*>(&at), sizeof at);
            sockets_.push_back(l);
            sockets_.push_back(filler);
        }
    }
    ~SilentTv() {
        for (SOCKET s : sockets_) ::closesocket(s);
    }
    std::uint16_t bridgePort = 0, restPort = 0;

private:
    std::vector<SOCKET> sockets_;
};

struct Figure {
    std::vector<double> wallMs;
    double worstMs = 0;
    size_t probes = 0;
    bool right = true;
};

// Serves the window's messages, as the installer's waits do, until `done` is set.
void ServeUntil(const std::atomic<bool>& done) {
    while (!done) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        Application->ProcessMessages();
    }
}

// `runs` times: a fresh Setup, made before the clock starts, then run(setup), which says whether
// its result was the right one, timed, with the window asked to answer every 2 ms meanwhile.
template <typename Setup, typename Run>
Figure Measure(HWND window, int runs, Run run) {
    Figure f;
    for (int i = 0; i < runs; ++i) {
        Setup setup;
        Application->ProcessMessages();
        Prober prober(window, 2);
        std::atomic<bool> warm{false};
        std::thread warming([&] {
            Sleep(20);  // the prober is sending
            warm = true;
        });
        ServeUntil(warm);
        warming.join();
        const auto t0 = Clock::now();
        const bool right = run(setup);
        f.wallMs.push_back(Ms(Clock::now() - t0));
        // The prober may be waiting on the window now: let its last message through.
        std::atomic<bool> stopped{false};
        std::thread stopper([&] {
            prober.Stop();
            stopped = true;
        });
        ServeUntil(stopped);
        stopper.join();
        f.worstMs = std::max(f.worstMs, prober.Worst());
        f.probes += prober.Count();
        f.right = f.right && right;
    }
    return f;
}

// The probe at the real bounds against a TV of `Tv`'s kind.
template <typename Tv>
Figure MeasureProbe(HWND window, int runs, tvprobe::PortAnswer expected, bool device) {
    return Measure<Tv>(window, runs, [&](Tv& tv) {
        tvprobe::ProbeOptions options;
        options.bridgePort = tv.bridgePort;
        options.restPort = tv.restPort;
        const tvprobe::ProbeResult result = tvprobe::ProbeTv("127.0.0.1", options);
        return result.port == expected && result.device.has_value() == device;
    });
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The network search at the real bounds on this PC's adapters, as bench/install/search_bench.py
// sets up its LAN: one line of figures for it to read.
int Search(HWND window, int runs, size_t tvs) {
    struct NoSetup {};
    tvsearch::SearchResult last;
    const Figure f = Measure<NoSetup>(window, runs, [&](NoSetup&) {
        last = tvsearch::SearchTvs();
        return last.tvs.size() == tvs;
    });
    std::printf("search\t%.1f\t%.1f\t%.1f\t%zu\t%zu\t%zu\t%s\n", Median(f.wallMs),
                *std::max_element(f.wallMs.begin(), f.wallMs.end()), f.worstMs, last.tvs.size(),
                last.ssdpHosts, last.hostsAsked, f.right ? "right" : "WRONG RESULT");
    return f.right ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    bool rows = false;
    int runs = 5, searchTvs = -1;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--rows") == 0) rows = true;
        if (std::wcscmp(argv[i], L"--runs") == 0 && i + 1 < argc) runs = std::max(1, _wtoi(argv[++i]));
        if (std::wcscmp(argv[i], L"--search") == 0 && i + 1 < argc) searchTvs = std::max(0, _wtoi(argv[++i]));
    }
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    HWND window = CreateWindowExW(0, L"STATIC", L"probe bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                                  100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (searchTvs >= 0) {
        const int code = Search(window, runs, size_t(searchTvs));
        DestroyWindow(window);
        WSACleanup();
        return code;
    }

    const Figure answers = MeasureProbe<AnsweringTv>(window, runs, tvprobe::PortAnswer::ClosedAtOnce, true);
    const Figure silent = MeasureProbe<SilentTv>(window, runs, tvprobe::PortAnswer::NoAnswer, false);

    std::printf("TV probe at the real bounds (connect 2 s + close watch 1 s, REST 3 s), %d runs each\n",
                runs);
    std::printf(
        "  a TV that answers:      median %.1f ms, longest delay of the window %.1f ms (%zu messages)%s\n",
        Median(answers.wallMs), answers.worstMs, answers.probes, answers.right ? "" : "  WRONG RESULT");
    std::printf(
        "  a TV that never answers: median %.1f ms, longest delay of the window %.1f ms (%zu messages)%s\n",
        Median(silent.wallMs), silent.worstMs, silent.probes, silent.right ? "" : "  WRONG RESULT");
    if (rows) {
        std::printf("@row\tTV probe, a TV that answers\t%.3f\tms\t\t\t\t\n", Median(answers.wallMs));
        std::printf("@row\tTV probe, a TV that never answers (the bound)\t%.3f\tms\t\t\t\t\n",
                    Median(silent.wallMs));
        std::printf(
            "@row\tlongest delay of the window in answering a message during a probe\t%.3f\tms\t\t\t50\t\n",
            std::max(answers.worstMs, silent.worstMs));
    }
    DestroyWindow(window);
    WSACleanup();
    return answers.right && silent.right ? 0 : 1;
}
