// Device transport messages: the 24-byte little-endian header, its checksum and magic, and an
// incremental decoder that validates everything a device sends before the client looks at it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kb {

// Any violation of the protocol by the device: the connection cannot be trusted afterwards.
class ProtocolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace wire {

constexpr uint32_t kCnxn = 0x4e584e43;
constexpr uint32_t kOpen = 0x4e45504f;
constexpr uint32_t kOkay = 0x59414b4f;
constexpr uint32_t kWrte = 0x45545257;
constexpr uint32_t kClse = 0x45534c43;
constexpr uint32_t kStat = 0x54415453;  // device lock state, device to host only
constexpr uint32_t kAuth = 0x48545541;

constexpr uint32_t kHostVersion = 0x00100000;
// What we announce and therefore accept; also the bound on any single allocation for a message.
constexpr uint32_t kHostMaxPayload = 262144;
// What we may send before the device's CNXN told us its own limit.
constexpr uint32_t kDefaultDeviceMaxPayload = 4096;
constexpr size_t kHeaderSize = 24;
// The banner we identify with: "host::" and its terminating NUL.
constexpr std::string_view kHostBanner{"host::\0", 7};

struct Message {
    uint32_t command = 0;
    uint32_t arg0 = 0;
    uint32_t arg1 = 0;
    std::vector<uint8_t> payload;
};

// Sum of all bytes, as the device computes data_check.
uint32_t Checksum(std::span<const uint8_t> bytes);

// Appends header and payload back to back, with data_check and magic filled in.
void AppendMessage(std::vector<uint8_t>& out, uint32_t command, uint32_t arg0, uint32_t arg1,
                   std::span<const uint8_t> payload);
std::vector<uint8_t> EncodeMessage(uint32_t command, uint32_t arg0, uint32_t arg1,
                                   std::span<const uint8_t> payload = {});
std::vector<uint8_t> EncodeMessage(uint32_t command, uint32_t arg0, uint32_t arg1, std::string_view payload);

// "CNXN", "WRTE", ... or "0x1234abcd" for anything else; for error messages.
std::string CommandName(uint32_t command);

uint32_t ReadLe32(const uint8_t* p);
void AppendLe32(std::vector<uint8_t>& out, uint32_t value);

// Turns the device's byte stream into validated messages. Magic and length are checked as soon as
// the header is complete, so an oversize length never causes a large allocation or a wait for
// bytes that will not come; the checksum is checked when the payload is complete. Every
// violation throws ProtocolError. Commands are not interpreted here.
class MessageDecoder {
public:
    explicit MessageDecoder(uint32_t maxPayload = kHostMaxPayload) : maxPayload_(maxPayload) {}

    void Feed(std::span<const uint8_t> bytes);
    // True and fills `out` when a whole message is buffered.
    bool Next(Message& out);
    size_t Buffered() const { return buffer_.size() - offset_; }

private:
    uint32_t maxPayload_;
    std::vector<uint8_t> buffer_;
    size_t offset_ = 0;
};

// What the device's CNXN banner "device::<model>::<lock>" says.
struct DeviceBanner {
    std::string kind;   // text before the first ':', "device" for a TV
    std::string model;  // "" when absent or "unknown"
    bool locked = false;
};
DeviceBanner ParseDeviceBanner(std::span<const uint8_t> payload);

}  // namespace wire
}  // namespace kb
