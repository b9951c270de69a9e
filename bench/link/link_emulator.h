// A network link between two loopback programs, made in user space: a TCP relay on 127.0.0.1
// that holds every byte for half the round trip in each direction and lets bytes through no
// faster than the link rate. Delivery times follow from arrival times alone:
//   leaves = max(arrival, link free) + bytes / rate;  delivered = leaves + rtt / 2
// so a run is repeatable up to the scheduler's wake-up latency, which Stats reports.
// The TCP handshake itself is not delayed (the kernel completes it before we see it).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace kb::bench {

struct LinkOptions {
    double rttMs = 5.0;
    double rateMbit = 50.0;     // each direction
    uint16_t listenPort = 0;    // on 127.0.0.1; 0 picks a free one
    uint16_t targetPort = 0;    // on 127.0.0.1, the only address ever dialled
    int lifetimeSeconds = 900;  // the relay stops by itself after this long
};

class LinkEmulator {
public:
    // Listens at once; throws std::runtime_error when the port cannot be had.
    explicit LinkEmulator(const LinkOptions& options);
    ~LinkEmulator();
    LinkEmulator(const LinkEmulator&) = delete;
    LinkEmulator& operator=(const LinkEmulator&) = delete;

    uint16_t Port() const { return port_; }
    // Blocks until stopped from another thread or the lifetime is over.
    void Wait();
    void Stop();

    struct Stats {
        uint64_t connections = 0;
        uint64_t bytes = 0;      // both directions
        double worstLateUs = 0;  // longest delay of a delivery past its due time
    };
    Stats Snapshot() const;

private:
    void AcceptLoop();
    void Relay(int client);

    LinkOptions options_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    Stats stats_;
    std::vector<std::thread> relays_;
    std::thread acceptor_;
};

}  // namespace kb::bench
