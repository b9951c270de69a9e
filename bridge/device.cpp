#include "device.h"

#include <algorithm>

#include "gone.h"

namespace kb {

namespace {
// More than this arriving on a stream while we write to it is not a reply any more.
constexpr size_t kMaxPending = 1 << 20;
}  // namespace

void DeviceLink::ConnectTcp(const std::string& ip, uint16_t port) {
    socket_ = net::ConnectTcp(ip, port, timeouts_.connectMs);
}

void DeviceLink::Send(uint32_t command, uint32_t arg0, uint32_t arg1, std::span<const uint8_t> payload) {
    sendBuffer_.clear();
    wire::AppendMessage(sendBuffer_, command, arg0, arg1, payload);
    socket_.SendAll(sendBuffer_, net::After(timeouts_.idleMs));
}

wire::Message DeviceLink::ReadMessage(net::Clock::time_point deadline) {
    wire::Message message;
    while (!decoder_.Next(message)) {
        size_t n = socket_.Receive(receiveBuffer_, deadline);
        if (n == 0) throw net::NetError(gone::kClosedConnection);
        decoder_.Feed(std::span(receiveBuffer_.data(), n));
    }
    return message;
}

void DeviceLink::HandleOther(const wire::Message& message) {
    switch (message.command) {
    case wire::kStat: locked_ = message.arg0 == 1; break;
    case wire::kCnxn:
        if (connected_) throw ProtocolError("the device restarted the session");
        break;
    case wire::kOkay:
    case wire::kClse: {
        // The answer to an Ask: accepted streams are closed at once, refused ones forgotten.
        auto it = std::find(unwanted_.begin(), unwanted_.end(), message.arg1);
        if (it == unwanted_.end()) break;
        unwanted_.erase(it);
        if (message.command == wire::kOkay && message.arg0 != 0) {
            Send(wire::kClse, message.arg1, message.arg0);
        }
        break;
    }
    default:
        // Stray OKAY/WRTE/CLSE for streams we are not waiting on, and commands we do not know,
        // are ignored; they do not count as progress.
        break;
    }
}

void DeviceLink::Handshake() {
    const auto* banner = reinterpret_cast<const uint8_t*>(wire::kHostBanner.data());
    Send(wire::kCnxn, wire::kHostVersion, wire::kHostMaxPayload, std::span(banner, wire::kHostBanner.size()));
    const auto deadline = net::After(timeouts_.handshakeMs);
    for (;;) {
        wire::Message m = ReadMessage(deadline);
        if (m.command == wire::kCnxn) {
            if (m.arg1 == 0) throw ProtocolError("the device announced a maximum payload of 0");
            maxSend_ = std::min(m.arg1, wire::kHostMaxPayload);
            banner_ = wire::ParseDeviceBanner(m.payload);
            locked_ = banner_.locked;
            connected_ = true;
            return;
        }
        if (m.command == wire::kAuth) {
            throw ProtocolError("the device asks for key authentication, which is not supported");
        }
        HandleOther(m);
    }
}

uint32_t DeviceLink::SendOpen(std::string_view service) {
    std::vector<uint8_t> payload(service.begin(), service.end());
    payload.push_back(0);
    if (payload.size() > maxSend_) {
        throw ProtocolError("the command is longer than the device accepts (" + std::to_string(maxSend_) +
                            " bytes)");
    }
    const uint32_t local = nextLocalId_++;
    Send(wire::kOpen, local, 0, payload);
    return local;
}

void DeviceLink::Ask(std::string_view service) { unwanted_.push_back(SendOpen(service)); }

std::optional<Stream> DeviceLink::Open(std::string_view service) {
    Stream stream;
    stream.local = SendOpen(service);
    const auto deadline = net::After(timeouts_.openMs);
    for (;;) {
        wire::Message m = ReadMessage(deadline);
        if (m.arg1 == stream.local && m.command == wire::kOkay) {
            if (m.arg0 == 0) throw ProtocolError("the device accepted a stream with id 0");
            stream.remote = m.arg0;
            return stream;
        }
        if (m.arg1 == stream.local && m.command == wire::kClse) return std::nullopt;
        HandleOther(m);
    }
}

bool DeviceLink::Read(Stream& stream, std::vector<uint8_t>& data, int idleMs) {
    data.clear();
    if (!stream.pending.empty()) {
        data.swap(stream.pending);
        return true;
    }
    if (stream.closed) return false;
    const auto deadline = net::After(idleMs);
    for (;;) {
        wire::Message m = ReadMessage(deadline);
        if (m.arg1 == stream.local && m.command == wire::kWrte) {
            Send(wire::kOkay, stream.local, stream.remote);
            data = std::move(m.payload);
            if (data.empty()) continue;
            return true;
        }
        if (m.arg1 == stream.local && m.command == wire::kClse) {
            stream.closed = true;
            return false;
        }
        HandleOther(m);
    }
}

void DeviceLink::Write(Stream& stream, std::span<const uint8_t> bytes, int idleMs) {
    while (!bytes.empty()) {
        if (stream.closed) throw StreamClosed("the device closed the stream");
        const size_t n = std::min<size_t>(bytes.size(), maxSend_);
        Send(wire::kWrte, stream.local, stream.remote, bytes.first(n));
        bytes = bytes.subspan(n);
        auto deadline = net::After(idleMs);
        for (bool acknowledged = false; !acknowledged;) {
            wire::Message m = ReadMessage(deadline);
            if (m.arg1 != stream.local) {
                HandleOther(m);
                continue;
            }
            switch (m.command) {
            case wire::kOkay: acknowledged = true; break;
            case wire::kWrte:
                if (stream.pending.size() + m.payload.size() > kMaxPending) {
                    throw ProtocolError("the device sent more data than expected");
                }
                stream.pending.insert(stream.pending.end(), m.payload.begin(), m.payload.end());
                Send(wire::kOkay, stream.local, stream.remote);
                deadline = net::After(idleMs);
                break;
            case wire::kClse: stream.closed = true; throw StreamClosed("the device closed the stream");
            default: HandleOther(m); break;
            }
        }
    }
}

void DeviceLink::Close(Stream& stream) {
    if (stream.closed || !socket_.Valid()) return;
    stream.closed = true;
    Send(wire::kClse, stream.local, stream.remote);
}

void DeviceLink::AwaitClose(Stream& stream, int ms) {
    std::vector<uint8_t> data;
    const auto deadline = net::After(ms);
    while (!stream.closed && net::Clock::now() < deadline) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - net::Clock::now());
        if (!Read(stream, data, int(std::max<long long>(left.count(), 1)))) return;
    }
}

}  // namespace kb
