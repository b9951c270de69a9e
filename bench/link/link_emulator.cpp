#include "link_emulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <stdexcept>
#include <string>

namespace kb::bench {

namespace {

using Ns = int64_t;

Ns Now() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return Ns(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

void Tune(int fd) {
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// Bytes held back in one direction before the relay stops reading that side.
constexpr size_t kMaxQueued = 8u << 20;

struct Chunk {
    Ns due;
    std::vector<uint8_t> bytes;
    size_t sent = 0;
};

// One direction of the link: its queue and when its wire is free again.
struct Direction {
    Direction(int f, int t) : from(f), to(t) {}
    int from, to;
    std::deque<Chunk> queue;
    size_t queued = 0;
    Ns wireFree = 0;
    bool eof = false;
    bool shut = false;
    bool blocked = false;  // the receiver's socket is full
};

}  // namespace

LinkEmulator::LinkEmulator(const LinkOptions& options) : options_(options) {
    if (options_.rttMs < 0 || options_.rateMbit <= 0) throw std::runtime_error("bad link options");
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a = Loopback(options_.listenPort);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, 16) != 0) {
        const std::string why = std::strerror(errno);
        close(listener_);
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(options_.listenPort) + ": " +
                                 why);
    }
    socklen_t len = sizeof a;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

LinkEmulator::~LinkEmulator() {
    Stop();
    if (acceptor_.joinable()) acceptor_.join();
    for (std::thread& t : relays_) t.join();
    close(listener_);
}

void LinkEmulator::Stop() { stop_ = true; }

void LinkEmulator::Wait() {
    if (acceptor_.joinable()) acceptor_.join();
}

LinkEmulator::Stats LinkEmulator::Snapshot() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

void LinkEmulator::AcceptLoop() {
    const Ns end = Now() + Ns(options_.lifetimeSeconds) * 1000000000;
    while (!stop_ && Now() < end) {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        {
            std::lock_guard lock(mutex_);
            ++stats_.connections;
        }
        relays_.emplace_back([this, client] { Relay(client); });
    }
    stop_ = true;
}

void LinkEmulator::Relay(int client) {
    // Wake-ups as close to the due times as the kernel allows.
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(options_.targetPort);
    if (connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(server);
        close(client);
        return;
    }
    Tune(client);
    Tune(server);

    const Ns oneWay = Ns(options_.rttMs * 1e6 / 2);
    const double nsPerByte = 8e3 / options_.rateMbit;  // 8 bits / (Mbit/s) in ns
    Direction dirs[2] = {Direction(client, server), Direction(server, client)};
    uint64_t bytes = 0;
    double worstLate = 0;
    std::vector<uint8_t> buffer(64 * 1024);
    bool broken = false;

    while (!stop_ && !broken && !(dirs[0].shut && dirs[1].shut)) {
        Ns now = Now();
        for (Direction& d : dirs) {
            while (!d.queue.empty() && d.queue.front().due <= now && !broken) {
                Chunk& c = d.queue.front();
                if (c.sent == 0) worstLate = std::max(worstLate, double(now - c.due) / 1e3);
                ssize_t n = send(d.to, c.bytes.data() + c.sent, c.bytes.size() - c.sent, MSG_NOSIGNAL);
                if (n < 0) {
                    if (errno == EAGAIN || errno == EWOULDBLOCK) {
                        d.blocked = true;
                        break;
                    }
                    broken = true;
                    break;
                }
                d.blocked = false;
                c.sent += size_t(n);
                if (c.sent < c.bytes.size()) continue;
                d.queued -= c.bytes.size();
                d.queue.pop_front();
            }
            if (d.eof && d.queue.empty() && !d.shut) {
                shutdown(d.to, SHUT_WR);
                d.shut = true;
            }
        }
        if (broken || (dirs[0].shut && dirs[1].shut)) break;

        // Wait for bytes to read, room to write, or the next due time (at most 100 ms, to notice
        // a stop).
        Ns wait = 100000000;
        for (Direction& d : dirs) {
            if (!d.queue.empty() && !d.blocked)
                wait = std::min(wait, std::max<Ns>(0, d.queue.front().due - now));
        }
        pollfd p[2] = {{client, 0, 0}, {server, 0, 0}};
        for (int i = 0; i < 2; ++i) {
            if (!dirs[i].eof && dirs[i].queued < kMaxQueued) p[i].events |= POLLIN;
            if (dirs[i].blocked) p[1 - i].events |= POLLOUT;
        }
        timespec ts{time_t(wait / 1000000000), long(wait % 1000000000)};
        if (ppoll(p, 2, &ts, nullptr) < 0 && errno != EINTR) break;

        for (int i = 0; i < 2; ++i) {
            Direction& d = dirs[i];
            if (p[1 - i].revents & POLLOUT) d.blocked = false;
            if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR)) || d.eof) continue;
            for (;;) {
                ssize_t n = recv(d.from, buffer.data(), buffer.size(), 0);
                if (n == 0) {
                    d.eof = true;
                    break;
                }
                if (n < 0) {
                    if (errno != EAGAIN && errno != EWOULDBLOCK) broken = true;
                    break;
                }
                const Ns arrived = Now();
                const Ns leaves = std::max(arrived, d.wireFree) + Ns(double(n) * nsPerByte);
                d.wireFree = leaves;
                d.queue.push_back(Chunk{leaves + oneWay, {buffer.begin(), buffer.begin() + n}});
                d.queued += size_t(n);
                bytes += uint64_t(n);
                if (size_t(n) < buffer.size()) break;
            }
        }
    }
    close(server);
    close(client);
    std::lock_guard lock(mutex_);
    stats_.bytes += bytes;
    stats_.worstLateUs = std::max(stats_.worstLateUs, worstLate);
}

}  // namespace kb::bench
