#include "net/EventSocketWin.h"

#include <algorithm>

namespace tvprobe {

WinsockUse::WinsockUse() {
    WSADATA data;
    ok_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

WinsockUse::~WinsockUse() {
    if (ok_) ::WSACleanup();
}

EventSocket::~EventSocket() {
    if (socket_ != INVALID_SOCKET) ::closesocket(socket_);
    if (event_ != WSA_INVALID_EVENT) ::WSACloseEvent(event_);
}

bool EventSocket::Open(int type, int protocol, long events) {
    socket_ = ::socket(AF_INET, type, protocol);
    if (shared_ == WSA_INVALID_EVENT) event_ = ::WSACreateEvent();
    // A command started later must not inherit the socket.
    if (socket_ != INVALID_SOCKET)
        ::SetHandleInformation(reinterpret_cast<HANDLE>(socket_), HANDLE_FLAG_INHERIT, 0);
    return socket_ != INVALID_SOCKET && event() != WSA_INVALID_EVENT &&
           ::WSAEventSelect(socket_, event(), events) == 0;  // also makes the socket non-blocking
}

bool EventSocket::Connect(const sockaddr_in& to, long events, int& error) {
    if (!Open(SOCK_STREAM, IPPROTO_TCP, events)) {
        error = ::WSAGetLastError();
        return false;
    }
    if (::connect(socket_, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) return true;
    error = ::WSAGetLastError();
    return error == WSAEWOULDBLOCK;
}

bool EventSocket::Bind(const sockaddr_in& from, long events) {
    return Open(SOCK_DGRAM, IPPROTO_UDP, events) &&
           ::bind(socket_, reinterpret_cast<const sockaddr*>(&from), sizeof from) == 0;
}

WSANETWORKEVENTS EventSocket::Events() {
    WSANETWORKEVENTS happened{};
    // A shared event is reset by its owner, before it asks each of its sockets.
    if (::WSAEnumNetworkEvents(socket_, event_, &happened) != 0) happened.lNetworkEvents = 0;
    return happened;
}

RestExchange::RestExchange(const sockaddr_in& to, const std::string& address, std::uint16_t port,
                           ULONGLONG deadline, WSAEVENT shared)
    : request_(DeviceRequest(address, port)), socket_(shared), deadline_(deadline) {
    int error = 0;
    if (!socket_.Connect(to, FD_CONNECT | FD_WRITE | FD_READ | FD_CLOSE, error)) done_ = true;
}

void RestExchange::OnEvent() {
    if (done_) return;
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

void RestExchange::Send() {
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

void RestExchange::Read() {
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

void RestExchange::Finish() {
    device_ = ParseDeviceAnswer(answer_);
    done_ = true;
}

}  // namespace tvprobe
