// Both questions run side by side on non-blocking sockets, each with its own WSAEventSelect
// event; one loop sleeps in MsgWaitForMultipleObjects on both events and the window's input, so
// no thread is needed and the window is served as between two commands of the installation.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "Forms.h"
#include "install/CommandRunner.h"
#include "net/TvProbeWin.h"

namespace tvprobe {

namespace {

// One non-blocking socket with the event its network events set.
class EventSocket {
public:
    EventSocket() = default;
    EventSocket(const EventSocket&) = delete;
    EventSocket& operator=(const EventSocket&) = delete;
    ~EventSocket() {
        if (socket_ != INVALID_SOCKET) ::closesocket(socket_);
        if (event_ != WSA_INVALID_EVENT) ::WSACloseEvent(event_);
    }
    // Starts a connect to `to`; false when it failed at once (`error` says why).
    bool Connect(const sockaddr_in& to, long events, int& error) {
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        event_ = ::WSACreateEvent();
        // A command started later must not inherit the connection.
        if (socket_ != INVALID_SOCKET)
            ::SetHandleInformation(reinterpret_cast<HANDLE>(socket_), HANDLE_FLAG_INHERIT, 0);
        if (socket_ == INVALID_SOCKET || event_ == WSA_INVALID_EVENT ||
            ::WSAEventSelect(socket_, event_, events) != 0) {  // also makes the socket non-blocking
            error = ::WSAGetLastError();
            return false;
        }
        if (::connect(socket_, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) return true;
        error = ::WSAGetLastError();
        return error == WSAEWOULDBLOCK;
    }
    // The network events since the last call (and resets the event); none when the call fails.
    WSANETWORKEVENTS Events() {
        WSANETWORKEVENTS happened{};
        if (::WSAEnumNetworkEvents(socket_, event_, &happened) != 0) happened.lNetworkEvents = 0;
        return happened;
    }
    SOCKET get() const noexcept { return socket_; }
    HANDLE event() const noexcept { return event_; }

private:
    SOCKET socket_ = INVALID_SOCKET;
    WSAEVENT event_ = WSA_INVALID_EVENT;
};

// Port 26101: refused, no answer within the connect bound, or connected; once connected, closed
// (FIN or reset) within the watch, or still open after it.
class BridgeQuestion {
public:
    BridgeQuestion(const sockaddr_in& to, const ProbeOptions& options, ULONGLONG now)
        : options_(options), deadline_(now + options.connectMs) {
        int error = 0;
        if (!socket_.Connect(to, FD_CONNECT | FD_READ | FD_CLOSE, error)) Failed(error);
    }
    bool done() const noexcept { return done_; }
    PortAnswer answer() const noexcept { return answer_; }
    HANDLE event() const noexcept { return socket_.event(); }
    ULONGLONG deadline() const noexcept { return deadline_; }

    void OnEvent(ULONGLONG now) {
        const WSANETWORKEVENTS happened = socket_.Events();
        if (!connected_ && (happened.lNetworkEvents & FD_CONNECT)) {
            const int error = happened.iErrorCode[FD_CONNECT_BIT];
            if (error != 0) return Failed(error);
            connected_ = true;
            deadline_ = now + options_.closeWatchMs;
        }
        if (!connected_) return;
        if (happened.lNetworkEvents & FD_CLOSE) return Finish(PortAnswer::ClosedAtOnce);
        if (happened.lNetworkEvents & FD_READ) Peek();
    }
    void OnTime(ULONGLONG now) {
        if (done_ || now < deadline_) return;
        if (!connected_) return Finish(PortAnswer::NoAnswer);
        Peek();  // a close the event has not told yet
        if (!done_) Finish(PortAnswer::Open);
    }

private:
    void Failed(int error) { Finish(error == WSAECONNREFUSED ? PortAnswer::Refused : PortAnswer::NoAnswer); }
    void Finish(PortAnswer answer) {
        answer_ = answer;
        done_ = true;
    }
    // Reads what has come: the end of the stream or a reset is a close; bytes are an open port
    // that speaks first.
    void Peek() {
        char byte[64];
        const int n = ::recv(socket_.get(), byte, sizeof byte, 0);
        if (n > 0) return Finish(PortAnswer::Open);
        if (n == 0 || ::WSAGetLastError() != WSAEWOULDBLOCK) return Finish(PortAnswer::ClosedAtOnce);
    }

    const ProbeOptions& options_;
    EventSocket socket_;
    ULONGLONG deadline_;
    bool connected_ = false;
    bool done_ = false;
    PortAnswer answer_ = PortAnswer::NoAnswer;
};

// Port 8001: connect, send the request, read the answer until the TV closes, until reading more
// changes nothing, or until the bound; at most kMaxAnswerBytes + 1 bytes are kept.
class RestQuestion {
public:
    RestQuestion(const sockaddr_in& to, const std::string& address, const ProbeOptions& options,
                 ULONGLONG now)
        : request_(DeviceRequest(address, options.restPort)), deadline_(now + options.restMs) {
        int error = 0;
        if (!socket_.Connect(to, FD_CONNECT | FD_WRITE | FD_READ | FD_CLOSE, error)) done_ = true;
    }
    bool done() const noexcept { return done_; }
    const std::optional<TvDevice>& device() const noexcept { return device_; }
    HANDLE event() const noexcept { return socket_.event(); }
    ULONGLONG deadline() const noexcept { return deadline_; }

    void OnEvent() {
        const WSANETWORKEVENTS happened = socket_.Events();
        if (!connected_ && (happened.lNetworkEvents & FD_CONNECT)) {
            if (happened.iErrorCode[FD_CONNECT_BIT] != 0) {
                done_ = true;
                return;
            }
            connected_ = true;
        }
        if (!connected_) return;
        if (happened.lNetworkEvents & (FD_CONNECT | FD_WRITE)) Send();
        if (!done_ && (happened.lNetworkEvents & (FD_READ | FD_CLOSE))) Read();
    }
    void OnTime(ULONGLONG now) {
        if (!done_ && now >= deadline_) done_ = true;  // too slow: no answer
    }

private:
    void Send() {
        while (!done_ && sent_ < request_.size()) {
            const int n = ::send(socket_.get(), request_.data() + sent_, int(request_.size() - sent_), 0);
            if (n > 0) {
                sent_ += size_t(n);
            } else if (::WSAGetLastError() == WSAEWOULDBLOCK) {
                return;  // FD_WRITE comes when there is room again
            } else {
                done_ = true;
            }
        }
    }
    void Read() {
        char buffer[16 * 1024];
        for (;;) {
            const size_t room = kMaxAnswerBytes + 1 - answer_.size();
            const int n = ::recv(socket_.get(), buffer, int(std::min(room, sizeof buffer)), 0);
            if (n > 0) {
                answer_.append(buffer, size_t(n));
                if (AnswerReadEnough(answer_)) return Finish();
                continue;
            }
            if (n < 0 && ::WSAGetLastError() == WSAEWOULDBLOCK) return;  // FD_READ or FD_CLOSE comes
            return Finish();  // closed by the TV (or reset): the answer is what came
        }
    }
    void Finish() {
        device_ = ParseDeviceAnswer(answer_);
        done_ = true;
    }

    std::string request_;
    EventSocket socket_;
    ULONGLONG deadline_;
    size_t sent_ = 0;
    std::string answer_;
    bool connected_ = false;
    bool done_ = false;
    std::optional<TvDevice> device_;
};

class WinsockUse {
public:
    WinsockUse() {
        WSADATA data;
        ok_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockUse() {
        if (ok_) ::WSACleanup();
    }
    bool ok() const noexcept { return ok_; }

private:
    bool ok_ = false;
};

ProbeFunction probeForTests = nullptr;

}  // namespace

ProbeFunction SetProbeForTests(ProbeFunction probe) noexcept { return std::exchange(probeForTests, probe); }

ProbeResult ProbeTv(const std::string& address, const ProbeOptions& options) {
    if (probeForTests) return probeForTests(address, options);
    ProbeResult result;
    try {
        Application->ProcessMessages();  // what came before the first wait
        if (Application->Terminated()) {
            result.quitting = true;
            return result;
        }
        // Before anything of Winsock, inet_pton included (it fails while Winsock is not started).
        WinsockUse winsock;
        if (!winsock.ok()) return result;
        sockaddr_in bridgeTo{};
        bridgeTo.sin_family = AF_INET;
        if (::inet_pton(AF_INET, address.c_str(), &bridgeTo.sin_addr) != 1) return result;
        sockaddr_in restTo = bridgeTo;
        bridgeTo.sin_port = ::htons(options.bridgePort);
        restTo.sin_port = ::htons(options.restPort);

        const ProbeWaitFunction wait = options.wait ? options.wait : WaitForHandlesOrInput;
        BridgeQuestion bridge(bridgeTo, options, ::GetTickCount64());
        RestQuestion rest(restTo, address, options, ::GetTickCount64());
        for (;;) {
            const ULONGLONG now = ::GetTickCount64();
            bridge.OnTime(now);
            rest.OnTime(now);
            if (bridge.done() && rest.done()) break;

            std::vector<HANDLE> events;
            ULONGLONG until = ~0ULL;
            if (!bridge.done()) {
                events.push_back(bridge.event());
                until = std::min(until, bridge.deadline());
            }
            if (!rest.done()) {
                events.push_back(rest.event());
                until = std::min(until, rest.deadline());
            }
            const DWORD count = DWORD(events.size());
            const DWORD woke = wait(count, events.data(), DWORD(until > now ? until - now : 0));
            if (woke == WAIT_OBJECT_0 + count) {
                Application->ProcessMessages();
                if (Application->Terminated()) {
                    result.quitting = true;
                    return result;
                }
            } else if (woke < WAIT_OBJECT_0 + count) {
                // Both may be signalled: look at each, the first wait only names the lower one.
                if (!bridge.done()) bridge.OnEvent(::GetTickCount64());
                if (!rest.done()) rest.OnEvent();
            } else if (woke == WAIT_FAILED) {
                break;  // cannot wait: what is not known by now stays unanswered
            }
        }
        result.port = bridge.done() ? bridge.answer() : PortAnswer::NoAnswer;
        result.device = rest.device();
    } catch (...) {
        // Out of memory: nothing known.
        result = ProbeResult{};
    }
    return result;
}

}  // namespace tvprobe
