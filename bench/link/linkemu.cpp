// linkemu: a link with a round trip and a rate between two programs on 127.0.0.1.
//   linkemu --listen PORT --to PORT [--rtt-ms 5] [--rate-mbit 50] [--ready-file F]
//           [--exit-after-seconds 900]
// Prints the port it listens on (useful with --listen 0) and writes it to the ready file once
// it listens. SIGTERM or SIGINT ends it; so does the time limit.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "link_emulator.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

int Usage() {
    std::fprintf(stderr,
                 "usage: linkemu --listen PORT --to PORT [--rtt-ms MS] [--rate-mbit MBIT]\n"
                 "               [--ready-file FILE] [--exit-after-seconds S]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    kb::bench::LinkOptions options;
    std::string ready;
    bool haveTarget = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return Usage();
        const char* value = argv[++i];
        if (arg == "--listen")
            options.listenPort = uint16_t(std::atoi(value));
        else if (arg == "--to")
            options.targetPort = uint16_t(std::atoi(value)), haveTarget = true;
        else if (arg == "--rtt-ms")
            options.rttMs = std::atof(value);
        else if (arg == "--rate-mbit")
            options.rateMbit = std::atof(value);
        else if (arg == "--ready-file")
            ready = value;
        else if (arg == "--exit-after-seconds")
            options.lifetimeSeconds = std::atoi(value);
        else
            return Usage();
    }
    if (!haveTarget || options.targetPort == 0) return Usage();
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    try {
        kb::bench::LinkEmulator link(options);
        std::printf("linkemu: 127.0.0.1:%u -> 127.0.0.1:%u, rtt %.3f ms, %.1f Mbit/s each way\n", link.Port(),
                    options.targetPort, options.rttMs, options.rateMbit);
        std::fflush(stdout);
        if (!ready.empty()) {
            const std::string tmp = ready + ".tmp";
            std::ofstream(tmp) << link.Port() << "\n";
            std::rename(tmp.c_str(), ready.c_str());
        }
        std::thread watch([&] {
            while (!g_stop) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            link.Stop();
        });
        link.Wait();
        g_stop = 1;
        watch.join();
        const auto stats = link.Snapshot();
        std::fprintf(stderr, "linkemu: %llu connections, %llu bytes, latest delivery %.0f us past due\n",
                     static_cast<unsigned long long>(stats.connections),
                     static_cast<unsigned long long>(stats.bytes), stats.worstLateUs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "linkemu: %s\n", e.what());
        return 1;
    }
    return 0;
}
