// Bridge client figures over an emulated home link: the client (in-process, as iu runs it)
// talks to the scripted TV through the link emulator on 127.0.0.1. Each figure is printed next
// to the protocol's floor for the same transfer on the same link (floor.h) and their ratio.
//   1. the emulator itself: an echo's round trip against the RTT asked for;
//   2. push of 64 KiB, 1 MiB and 5 MiB at RTT 0.2, 2, 5 and 20 ms, 50 Mbit/s, with the TV's
//      maximum payload at 4096 and 262144;
//   3. connect plus one shell command at the same RTTs;
//   4. on bare loopback, the push of 64 MiB against a raw TCP copy: the client's own cost.
// Prints numbers; asserts nothing. --rows adds machine-readable "@row" lines for the report,
// --quick runs one size and two RTTs.
// The emulator's own round trip (1.) is a little longer than asked: wake-ups of the relay and of
// both ends, more so on a busy machine. Each figure is therefore also put next to the floor
// computed with that measured round trip, which shows what is the client's own.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "commands.h"
#include "fake_tv.h"
#include "floor.h"
#include "link_emulator.h"

#ifndef KAVORIN_BENCH_BUILD
#define KAVORIN_BENCH_BUILD "unknown build"
#endif

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using kb::bench::LinkShape;

constexpr double kRateMbit = 50.0;
constexpr const char* kRemote = "/home/owner/share/tmp/sdk_tools/tmp/KAVORIN.wgt";
bool g_rows = false;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The report's table row: figure, value, unit, anchor, anchor value, goal ratio, a note.
void Row(const std::string& figure, double value, const char* unit, const std::string& anchor,
         double anchorValue, const char* goal = "", const std::string& note = "") {
    if (g_rows) {
        std::printf("@row\t%s\t%.3f\t%s\t%s\t%.3f\t%s\t%s\n", figure.c_str(), value, unit, anchor.c_str(),
                    anchorValue, goal, note.c_str());
    }
}

std::string AtEcho(double echoFloor, double ms) {
    char b[96];
    std::snprintf(b, sizeof b, "at the echo's RTT the floor is %.1f ms (x%.3f)", echoFloor, ms / echoFloor);
    return b;
}

int Run(const std::vector<std::string>& args, const kb::Settings& settings) {
    kb::BufferConsole console;
    int code = kb::RunBridge(args, console, settings);
    if (code != 0) std::fprintf(stderr, "%s%s", console.out.c_str(), console.err.c_str());
    return code;
}

std::string RttText(double rtt) {
    char b[32];
    std::snprintf(b, sizeof b, rtt < 1 ? "%.1f" : "%.0f", rtt);
    return b;
}

// A one-byte echo through the emulator: its round trip should be the RTT asked for.
double EchoRoundTripMs(double rtt) {
    kb::net::Listener echo;
    std::thread server([&] {
        kb::net::Socket s = echo.Accept(10000);
        std::vector<uint8_t> b(1);
        while (s.Receive(b, kb::net::After(10000)) == 1) s.SendAll(b, kb::net::After(10000));
    });
    std::vector<double> times;
    {
        kb::bench::LinkEmulator link({rtt, kRateMbit, 0, echo.Port(), 60});
        kb::net::Socket c = kb::net::ConnectTcp("127.0.0.1", link.Port(), 5000);
        std::vector<uint8_t> b{42};
        const int n = rtt < 10 ? 100 : 25;
        for (int i = 0; i < n; ++i) {
            const auto t0 = Clock::now();
            c.SendAll(b, kb::net::After(5000));
            c.Receive(b, kb::net::After(5000));
            times.push_back(Ms(Clock::now() - t0));
        }
        c.ShutdownSend();
        server.join();
    }
    return Median(times);
}

// The same bytes through a plain socket pair on loopback, 64 KiB at a time.
double RawCopyMs(const std::vector<char>& data) {
    kb::net::Listener listener;
    std::thread reader([&] {
        kb::net::Socket s = listener.Accept(10000);
        std::vector<uint8_t> buf(64 * 1024);
        for (uint64_t got = 0; got < data.size();) {
            size_t n = s.Receive(buf, kb::net::After(10000));
            if (n == 0) break;
            got += n;
        }
    });
    const auto start = Clock::now();
    kb::net::Socket out = kb::net::ConnectTcp("127.0.0.1", listener.Port(), 5000);
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    for (size_t off = 0; off < data.size(); off += 65536) {
        out.SendAll(std::span(bytes + off, std::min<size_t>(65536, data.size() - off)),
                    kb::net::After(10000));
    }
    reader.join();
    return Ms(Clock::now() - start);
}

fs::path WriteFile(const fs::path& dir, size_t size) {
    std::vector<char> data(size);
    std::mt19937 gen{uint32_t(size)};
    for (char& c : data) c = char(gen());
    fs::path file = dir / ("bench-" + std::to_string(size) + ".wgt");
    std::ofstream(file, std::ios::binary).write(data.data(), std::streamsize(data.size()));
    return file;
}

std::string SizeText(size_t size) {
    return size >= (1u << 20) ? std::to_string(size >> 20) + " MiB" : std::to_string(size >> 10) + " KiB";
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rows") == 0) g_rows = true;
        if (std::strcmp(argv[i], "--quick") == 0) quick = true;
    }
    kb::net::NetSession session;
    const fs::path dir = fs::temp_directory_path() / ("kavorin-bridge-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    kb::Settings settings;
    settings.statePath = dir / "targets";

    std::printf("bridge client (in-process) -> link emulator -> scripted TV, all on 127.0.0.1\n");
    std::printf("build measured: %s\n", KAVORIN_BENCH_BUILD);
    const std::vector<double> rtts = quick ? std::vector<double>{2, 20} : std::vector<double>{0.2, 2, 5, 20};
    const std::vector<size_t> sizes =
        quick ? std::vector<size_t>{1u << 20} : std::vector<size_t>{64u << 10, 1u << 20, 5u << 20};

    std::printf("\nlink emulator, one-byte echo, median round trip\n");
    std::vector<double> measured;
    for (double rtt : rtts) {
        const double ms = EchoRoundTripMs(rtt);
        measured.push_back(ms);
        std::printf("  RTT %-4s ms: %8.3f ms  (x%.2f)\n", RttText(rtt).c_str(), ms, ms / rtt);
        Row("link emulator: echo round trip, RTT " + RttText(rtt) + " ms", ms, "ms", "RTT asked for", rtt);
    }

    std::printf("\npush at %.0f Mbit/s: time, protocol floor, ratio (median of runs)\n", kRateMbit);
    std::printf("  %-7s %-8s %-9s %10s %10s %7s %12s %7s %5s\n", "max", "RTT ms", "size", "time ms",
                "floor ms", "ratio", "at echo RTT", "ratio", "runs");
    std::vector<fs::path> files;
    for (size_t size : sizes) files.push_back(WriteFile(dir, size));
    for (uint32_t limit : {4096u, 262144u}) {
        kb::test::FakeTvOptions options;
        options.maxPayload = limit;
        options.keepPushedData = false;
        kb::test::FakeTv tv(options);
        for (size_t k = 0; k < rtts.size(); ++k) {
            const double rtt = rtts[k];
            kb::bench::LinkEmulator link({rtt, kRateMbit, 0, tv.Port(), 900});
            Run({"kill-server"}, settings);
            if (Run({"connect", "127.0.0.1:" + std::to_string(link.Port())}, settings) != 0) return 1;
            for (size_t i = 0; i < sizes.size(); ++i) {
                const kb::bench::Floor shape = kb::bench::PushFloor(sizes[i], kRemote, limit);
                const double floor = shape.Ms({rtt, kRateMbit});
                const double echoFloor = shape.Ms({measured[k], kRateMbit});
                const int runs = floor < 300 ? 5 : floor < 3000 ? 3 : 1;
                std::vector<double> times;
                for (int r = 0; r < runs; ++r) {
                    const auto t0 = Clock::now();
                    if (Run({"push", files[i].string(), kRemote}, settings) != 0) return 1;
                    times.push_back(Ms(Clock::now() - t0));
                }
                const double ms = Median(times);
                std::printf("  %-7u %-8s %-9s %10.1f %10.1f %7.3f %12.1f %7.3f %5d\n", limit,
                            RttText(rtt).c_str(), SizeText(sizes[i]).c_str(), ms, floor, ms / floor,
                            echoFloor, ms / echoFloor, runs);
                Row("push " + SizeText(sizes[i]) + ", max payload " + std::to_string(limit) + ", RTT " +
                        RttText(rtt) + " ms",
                    ms, "ms", "protocol floor", floor, "1.10", AtEcho(echoFloor, ms));
            }
        }
    }

    std::printf(
        "\nconnect + one shell command (0 getappinstallpath): time, floor, ratio; floor at the echo's RTT\n");
    {
        kb::test::FakeTv tv;
        const double bytesOut = double(kb::test::DefaultShellAnswer("0 getappinstallpath").size());
        for (size_t k = 0; k < rtts.size(); ++k) {
            const double rtt = rtts[k];
            kb::bench::LinkEmulator link({rtt, kRateMbit, 0, tv.Port(), 900});
            const std::string serial = "127.0.0.1:" + std::to_string(link.Port());
            std::vector<double> times;
            for (int i = 0; i < (rtt < 10 ? 15 : 7); ++i) {
                Run({"kill-server"}, settings);
                const auto t0 = Clock::now();
                if (Run({"connect", serial}, settings) != 0) return 1;
                if (Run({"shell", "0", "getappinstallpath"}, settings) != 0) return 1;
                times.push_back(Ms(Clock::now() - t0));
            }
            const kb::bench::Floor shape =
                kb::bench::ConnectShellFloor("shell:0 getappinstallpath", uint64_t(bytesOut));
            const double floor = shape.Ms({rtt, kRateMbit});
            const double echoFloor = shape.Ms({measured[k], kRateMbit});
            const double ms = Median(times);
            std::printf("  RTT %-4s ms: %8.2f ms  floor %7.2f ms  ratio %.3f;  %7.2f ms  ratio %.3f\n",
                        RttText(rtt).c_str(), ms, floor, ms / floor, echoFloor, ms / echoFloor);
            Row("connect + one shell command, RTT " + RttText(rtt) + " ms", ms, "ms", "protocol floor", floor,
                "", AtEcho(echoFloor, ms));
        }
    }

    if (!quick) {
        const size_t size = 64u << 20;
        std::vector<char> data(size);
        std::mt19937 gen(42);
        for (char& c : data) c = char(gen());
        const fs::path file = dir / "bench-64m.wgt";
        std::ofstream(file, std::ios::binary).write(data.data(), std::streamsize(data.size()));
        const double raw = RawCopyMs(data);
        kb::test::FakeTvOptions options;
        options.maxPayload = 262144;
        options.keepPushedData = false;
        kb::test::FakeTv tv(options);
        Run({"kill-server"}, settings);
        if (Run({"connect", tv.Serial()}, settings) != 0) return 1;
        const auto t0 = Clock::now();
        if (Run({"push", file.string(), kRemote}, settings) != 0) return 1;
        const double ms = Ms(Clock::now() - t0);
        std::printf("\nbare loopback, 64 MiB: raw TCP copy %.1f ms, push (max 262144) %.1f ms, ratio %.2f\n",
                    raw, ms, ms / raw);
        Row("push 64 MiB on bare loopback (client's own cost), max payload 262144", ms, "ms",
            "raw TCP copy of the same bytes", raw);
    }
    Run({"kill-server"}, settings);
    fs::remove_all(dir);
    return 0;
}
