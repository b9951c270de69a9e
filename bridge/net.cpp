#include "net.h"

#include <algorithm>
#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace kb::net {

namespace {

#ifdef _WIN32
using Native = SOCKET;
inline Native ToNative(std::intptr_t h) { return static_cast<Native>(h); }
int LastError() { return WSAGetLastError(); }
bool WouldBlock(int e) { return e == WSAEWOULDBLOCK || e == WSAEINPROGRESS; }
bool Interrupted(int e) { return e == WSAEINTR; }
#else
using Native = int;
inline Native ToNative(std::intptr_t h) { return static_cast<Native>(h); }
int LastError() { return errno; }
bool WouldBlock(int e) { return e == EAGAIN || e == EWOULDBLOCK || e == EINPROGRESS; }
bool Interrupted(int e) { return e == EINTR; }
#endif

std::string ErrorText(int e) {
#ifdef _WIN32
    switch (e) {
    case WSAECONNREFUSED: return "connection refused";
    case WSAECONNRESET: return "connection reset by peer";
    case WSAECONNABORTED: return "connection aborted";
    case WSAETIMEDOUT: return "connection timed out";
    case WSAENETUNREACH: return "network unreachable";
    case WSAEHOSTUNREACH: return "host unreachable";
    case WSAEADDRNOTAVAIL: return "address not available";
    case WSAENOTCONN: return "not connected";
    case WSAESHUTDOWN: return "connection shut down";
    default: return "socket error " + std::to_string(e);
    }
#else
    return std::strerror(e);
#endif
}

[[noreturn]] void Throw(const char* what, int e) { throw NetError(std::string(what) + ": " + ErrorText(e)); }

void SetNonBlocking(Native s) {
#ifdef _WIN32
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
    // A child process must not inherit the connection.
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
#else
    fcntl(s, F_SETFL, fcntl(s, F_GETFL) | O_NONBLOCK);
    fcntl(s, F_SETFD, FD_CLOEXEC);
#endif
}

Native NewTcpSocket() {
    Native s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
#ifdef _WIN32
    if (s == INVALID_SOCKET) Throw("socket", LastError());
#else
    if (s < 0) Throw("socket", LastError());
#endif
    SetNonBlocking(s);
    return s;
}

int MillisLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return int(std::clamp<long long>(left, 0, 24 * 3600 * 1000));
}

enum class Wait { Ready, Timeout, Failed };

// Waits until the socket can be read (or written), or the deadline passes. A failed connect
// counts as ready for writing: the caller learns the error from SO_ERROR.
Wait WaitFor(Native s, bool forWrite, Clock::time_point deadline) {
    for (;;) {
        int ms = MillisLeft(deadline);
#ifdef _WIN32
        fd_set readSet, writeSet, errorSet;
        FD_ZERO(&readSet);
        FD_ZERO(&writeSet);
        FD_ZERO(&errorSet);
        FD_SET(s, forWrite ? &writeSet : &readSet);
        FD_SET(s, &errorSet);  // where Winsock reports a failed non-blocking connect
        timeval tv{ms / 1000, (ms % 1000) * 1000};
        int n = ::select(0, &readSet, &writeSet, &errorSet, &tv);
#else
        pollfd p{s, short(forWrite ? POLLOUT : POLLIN), 0};
        int n = ::poll(&p, 1, ms);
#endif
        if (n > 0) return Wait::Ready;
        if (n == 0) {
            if (Clock::now() >= deadline) return Wait::Timeout;
            continue;
        }
        if (!Interrupted(LastError())) return Wait::Failed;
    }
}

// After a call on `s` that failed with `e`: returns once the call may be tried again (it was
// interrupted, or the socket is now ready); throws when it really failed or the deadline passed.
void AwaitRetry(Native s, int e, bool forWrite, Clock::time_point deadline, const char* what,
                const char* late) {
    if (Interrupted(e)) return;
    if (!WouldBlock(e)) Throw(what, e);
    const Wait w = WaitFor(s, forWrite, deadline);
    if (w == Wait::Timeout) throw TimeoutError(late);
    if (w == Wait::Failed) Throw(what, LastError());
}

}  // namespace

NetSession::NetSession() {
#ifdef _WIN32
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#endif
}

NetSession::~NetSession() {
#ifdef _WIN32
    WSACleanup();
#endif
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        other.handle_ = -1;
    }
    return *this;
}

void Socket::Close() {
    if (handle_ == -1) return;
#ifdef _WIN32
    ::closesocket(ToNative(handle_));
#else
    ::close(ToNative(handle_));
#endif
    handle_ = -1;
}

void Socket::ShutdownSend() {
    if (handle_ == -1) return;
#ifdef _WIN32
    ::shutdown(ToNative(handle_), SD_SEND);
#else
    ::shutdown(ToNative(handle_), SHUT_WR);
#endif
}

void Socket::SendAll(std::span<const uint8_t> bytes, Clock::time_point deadline) {
    const Native s = ToNative(handle_);
    while (!bytes.empty()) {
        const int chunk = int(std::min<size_t>(bytes.size(), 1 << 20));
#ifdef _WIN32
        int n = ::send(s, reinterpret_cast<const char*>(bytes.data()), chunk, 0);
#else
        ssize_t n = ::send(s, bytes.data(), size_t(chunk), MSG_NOSIGNAL);
#endif
        if (n > 0) {
            bytes = bytes.subspan(size_t(n));
            continue;
        }
        const int e = LastError();
        if (n == 0) Throw("send", e);
        AwaitRetry(s, e, true, deadline, "send", "timed out sending to the device");
    }
}

size_t Socket::Receive(std::span<uint8_t> buffer, Clock::time_point deadline) {
    const Native s = ToNative(handle_);
    const int want = int(std::min<size_t>(buffer.size(), 1 << 20));
    for (;;) {
#ifdef _WIN32
        int n = ::recv(s, reinterpret_cast<char*>(buffer.data()), want, 0);
#else
        ssize_t n = ::recv(s, buffer.data(), size_t(want), 0);
#endif
        if (n >= 0) return size_t(n);
        AwaitRetry(s, LastError(), false, deadline, "receive", "timed out waiting for the device");
    }
}

bool ParseIPv4(const std::string& text, uint32_t& address) {
    in_addr parsed{};
    if (::inet_pton(AF_INET, text.c_str(), &parsed) != 1) return false;
    std::memcpy(&address, &parsed, sizeof address);
    return true;
}

Socket ConnectTcp(const std::string& ip, uint16_t port, int timeoutMs) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    uint32_t address = 0;
    if (!ParseIPv4(ip, address)) throw NetError("'" + ip + "' is not a numeric IPv4 address");
    std::memcpy(&addr.sin_addr, &address, sizeof address);

    const auto deadline = After(timeoutMs);
    Socket sock(static_cast<std::intptr_t>(NewTcpSocket()));
    const Native s = ToNative(sock.Handle());
    if (::connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        int e = LastError();
        if (!WouldBlock(e)) Throw("connect", e);
        Wait w = WaitFor(s, true, deadline);
        if (w == Wait::Timeout) throw TimeoutError("connection timed out");
        if (w == Wait::Failed) Throw("connect", LastError());
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
            Throw("connect", LastError());
        }
        if (error != 0) Throw("connect", error);
    }
    int on = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    return sock;
}

Listener::Listener(uint16_t port) {
    Native s = NewTcpSocket();
    socket_ = Socket(static_cast<std::intptr_t>(s));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        Throw("bind", LastError());
    }
    if (::listen(s, 8) != 0) Throw("listen", LastError());
    socklen_t length = sizeof addr;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &length);
    port_ = ntohs(addr.sin_port);
}

Socket Listener::Accept(int timeoutMs) {
    const Native s = ToNative(socket_.Handle());
    const auto deadline = After(timeoutMs);
    for (;;) {
        Native c = ::accept(s, nullptr, nullptr);
#ifdef _WIN32
        const bool ok = c != INVALID_SOCKET;
#else
        const bool ok = c >= 0;
#endif
        if (ok) {
            SetNonBlocking(c);
            int on = 1;
            ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
            return Socket(static_cast<std::intptr_t>(c));
        }
        AwaitRetry(s, LastError(), false, deadline, "accept", "nobody connected");
    }
}

}  // namespace kb::net
