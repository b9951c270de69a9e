// One connection to a TV's device daemon: the CNXN handshake and OPEN/OKAY/WRTE/CLSE streams,
// with one WRTE outstanding per stream and every WRTE received acknowledged.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "net.h"
#include "wire.h"

namespace kb {

struct Timeouts {
    int connectMs = 3000;      // TCP connect
    int handshakeMs = 5000;    // from our CNXN to the device's
    int openMs = 10000;        // from OPEN to the device's OKAY or CLSE
    int idleMs = 30000;        // a stream that makes no progress for this long has stalled
    int shellIdleMs = 120000;  // shell output: an install can stay silent for tens of seconds
};

// The device closed a stream we were writing to.
class StreamClosed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Stream {
    uint32_t local = 0;
    uint32_t remote = 0;
    bool closed = false;           // the device sent CLSE
    std::vector<uint8_t> pending;  // data that arrived while we were writing
};

class DeviceLink {
public:
    explicit DeviceLink(const Timeouts& timeouts) : timeouts_(timeouts) {}

    // TCP connect; throws net::NetError or net::TimeoutError.
    void ConnectTcp(const std::string& ip, uint16_t port);
    // Sends our CNXN and waits for the device's; throws ProtocolError or net errors.
    void Handshake();

    const wire::DeviceBanner& Banner() const { return banner_; }
    bool Locked() const { return locked_; }
    uint32_t MaxSend() const { return maxSend_; }

    // Opens a service; nullopt when the device refuses it with CLSE.
    std::optional<Stream> Open(std::string_view service);
    // Opens a service whose answer is not wanted, without waiting: the stream is closed as soon
    // as the device accepts it, while we go on with other streams.
    void Ask(std::string_view service);
    // Next bytes of the stream into `data`; false once the device closed it. Throws
    // net::TimeoutError after `idleMs` without progress.
    bool Read(Stream& stream, std::vector<uint8_t>& data, int idleMs);
    // Writes all bytes in WRTEs no larger than the device accepts, waiting for each OKAY. Data
    // the device sends meanwhile is acknowledged and kept in `stream.pending`.
    void Write(Stream& stream, std::span<const uint8_t> bytes, int idleMs);
    // Our CLSE, unless the device closed the stream already.
    void Close(Stream& stream);
    // Waits up to `ms` for the device to close the stream, discarding its data.
    void AwaitClose(Stream& stream, int ms);

private:
    wire::Message ReadMessage(net::Clock::time_point deadline);
    void Send(uint32_t command, uint32_t arg0, uint32_t arg1, std::span<const uint8_t> payload = {});
    // Messages that concern no stream we wait on: lock changes, strays, unknown commands.
    void HandleOther(const wire::Message& message);
    // OPEN with the next local id; returns that id.
    uint32_t SendOpen(std::string_view service);

    Timeouts timeouts_;
    net::Socket socket_;
    wire::MessageDecoder decoder_;
    wire::DeviceBanner banner_;
    bool locked_ = false;
    bool connected_ = false;
    uint32_t maxSend_ = wire::kDefaultDeviceMaxPayload;
    uint32_t nextLocalId_ = 1;
    std::vector<uint32_t> unwanted_;  // local ids opened by Ask and not yet closed
    std::vector<uint8_t> receiveBuffer_ = std::vector<uint8_t>(64 * 1024);
    std::vector<uint8_t> sendBuffer_;
};

}  // namespace kb
