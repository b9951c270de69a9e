// Thin portable TCP layer (Winsock or POSIX): numeric IPv4 only, every wait bounded by a
// deadline. Sockets are non-blocking; readiness is awaited with select/poll.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace kb::net {

using Clock = std::chrono::steady_clock;

class NetError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class TimeoutError : public NetError {
public:
    using NetError::NetError;
};

// Winsock start-up and clean-up; harmless elsewhere. One per process, kept for its lifetime.
class NetSession {
public:
    NetSession();
    ~NetSession();
    NetSession(const NetSession&) = delete;
    NetSession& operator=(const NetSession&) = delete;
};

// Milliseconds from now as a deadline.
inline Clock::time_point After(int ms) { return Clock::now() + std::chrono::milliseconds(ms); }

class Socket {
public:
    Socket() = default;
    explicit Socket(std::intptr_t handle) : handle_(handle) {}
    Socket(Socket&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket() { Close(); }

    bool Valid() const { return handle_ != -1; }
    std::intptr_t Handle() const { return handle_; }
    void Close();

    // Sends every byte or throws (TimeoutError at the deadline, NetError when the peer is gone).
    void SendAll(std::span<const uint8_t> bytes, Clock::time_point deadline);
    // Bytes received, 0 when the peer closed in order; throws TimeoutError, or NetError on reset.
    size_t Receive(std::span<uint8_t> buffer, Clock::time_point deadline);
    // Half-close: tells the peer we will send nothing more.
    void ShutdownSend();

private:
    std::intptr_t handle_ = -1;
};

// Dotted-quad IPv4 only (inet_pton); never resolves a name. Fills the address in network order.
bool ParseIPv4(const std::string& text, uint32_t& address);

// Non-blocking connect bounded by `timeoutMs`. Throws NetError("connection refused", ...) or
// TimeoutError. The socket has TCP_NODELAY set: the protocol is small request/reply messages.
Socket ConnectTcp(const std::string& ip, uint16_t port, int timeoutMs);

// A listener on 127.0.0.1 for fake devices in tests and benchmarks. Port 0 picks a free port.
class Listener {
public:
    explicit Listener(uint16_t port = 0);
    uint16_t Port() const { return port_; }
    // Throws TimeoutError when nobody connects in time.
    Socket Accept(int timeoutMs);
    void Close() { socket_.Close(); }

private:
    Socket socket_;
    uint16_t port_ = 0;
};

}  // namespace kb::net
