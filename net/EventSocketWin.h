// Non-blocking sockets whose network events set a Win32 event, for the waits that keep the
// window answering (the TV probe, the network search), and the REST question both ask over one:
// GET /api/v2/ on the TV's port 8001. Windows build only.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "net/TvProbe.h"

namespace tvprobe {

// Winsock started for the life of a scope.
class WinsockUse {
public:
    WinsockUse();
    ~WinsockUse();
    WinsockUse(const WinsockUse&) = delete;
    WinsockUse& operator=(const WinsockUse&) = delete;
    bool ok() const noexcept { return ok_; }

private:
    bool ok_ = false;
};

// One non-blocking socket with the event its network events set: an event of its own, or one
// the caller shares between several sockets (and resets before it asks each of them).
class EventSocket {
public:
    explicit EventSocket(WSAEVENT shared = WSA_INVALID_EVENT) : shared_(shared) {}
    EventSocket(const EventSocket&) = delete;
    EventSocket& operator=(const EventSocket&) = delete;
    ~EventSocket();
    // Starts a TCP connect to `to`; false when it failed at once (`error` says why).
    bool Connect(const sockaddr_in& to, long events, int& error);
    // A UDP socket bound to `from`; false when it cannot be had.
    bool Bind(const sockaddr_in& from, long events);
    // The network events since the last call (an event of its own is reset); none when the call
    // fails.
    WSANETWORKEVENTS Events();
    SOCKET get() const noexcept { return socket_; }
    HANDLE event() const noexcept { return shared_ != WSA_INVALID_EVENT ? shared_ : event_; }

private:
    bool Open(int type, int protocol, long events);
    SOCKET socket_ = INVALID_SOCKET;
    WSAEVENT event_ = WSA_INVALID_EVENT;  // its own
    WSAEVENT shared_;
};

// GET /api/v2/ at `to`: connect, send the request, read the answer until the TV closes, until
// reading more changes nothing, or until the deadline; at most kMaxAnswerBytes + 1 bytes are kept.
class RestExchange {
public:
    RestExchange(const sockaddr_in& to, const std::string& address, std::uint16_t port, ULONGLONG deadline,
                 WSAEVENT shared = WSA_INVALID_EVENT);
    bool done() const noexcept { return done_; }
    // Connected and not done: the other side took the connection and owes the answer.
    bool answering() const noexcept { return connected_ && !done_; }
    const std::optional<TvDevice>& device() const noexcept { return device_; }
    HANDLE event() const noexcept { return socket_.event(); }
    ULONGLONG deadline() const noexcept { return deadline_; }

    void OnEvent();
    void OnTime(ULONGLONG now) {
        if (!done_ && now >= deadline_) done_ = true;  // too slow: no answer
    }

private:
    void Send();
    void Read();
    void Finish();

    std::string request_;
    EventSocket socket_;
    ULONGLONG deadline_;
    size_t sent_ = 0;
    std::string answer_;
    bool connected_ = false;
    bool done_ = false;
    std::optional<TvDevice> device_;
};

}  // namespace tvprobe
