// Both questions run side by side on non-blocking sockets, each with its own WSAEventSelect
// event; one loop sleeps in MsgWaitForMultipleObjects on both events and the window's input, so
// no thread is needed and the window is served as between two commands of the installation.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "MessageWait.h"
#include "net/EventSocketWin.h"
#include "net/TvProbeWin.h"

namespace tvprobe {

namespace {

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

ProbeFunction probeForTests = nullptr;

}  // namespace

ProbeFunction SetProbeForTests(ProbeFunction probe) noexcept { return std::exchange(probeForTests, probe); }

ProbeResult ProbeTv(const std::string& address, const ProbeOptions& options) {
    if (probeForTests) return probeForTests(address, options);
    ProbeResult result;
    try {
        if (QuittingAfterDispatch()) {  // what came before the first wait
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

        BridgeQuestion bridge(bridgeTo, options, ::GetTickCount64());
        RestExchange rest(restTo, address, options.restPort, ::GetTickCount64() + options.restMs);
        for (bool waiting = true; waiting;) {
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
            switch (SleepServingTheWindow(options.wait, events, until)) {
            case Woke::Quitting: result.quitting = true; return result;
            case Woke::Event:
                // Both may be signalled: look at each, the first wait only names the lower one.
                if (!bridge.done()) bridge.OnEvent(::GetTickCount64());
                rest.OnEvent();
                break;
            case Woke::Failed: waiting = false; break;  // what is not known by now stays unanswered
            case Woke::Served:
            case Woke::Time: break;
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
