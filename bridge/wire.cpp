#include "wire.h"

#include <algorithm>
#include <cstdio>

namespace kb::wire {

uint32_t Checksum(std::span<const uint8_t> bytes) {
    uint32_t sum = 0;
    for (uint8_t b : bytes) sum += b;
    return sum;
}

uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void AppendLe32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(uint8_t(value >> shift));
}

void AppendMessage(std::vector<uint8_t>& out, uint32_t command, uint32_t arg0, uint32_t arg1,
                   std::span<const uint8_t> payload) {
    out.reserve(out.size() + kHeaderSize + payload.size());
    AppendLe32(out, command);
    AppendLe32(out, arg0);
    AppendLe32(out, arg1);
    AppendLe32(out, uint32_t(payload.size()));
    AppendLe32(out, Checksum(payload));
    AppendLe32(out, command ^ 0xFFFFFFFFu);
    out.insert(out.end(), payload.begin(), payload.end());
}

std::vector<uint8_t> EncodeMessage(uint32_t command, uint32_t arg0, uint32_t arg1,
                                   std::span<const uint8_t> payload) {
    std::vector<uint8_t> out;
    AppendMessage(out, command, arg0, arg1, payload);
    return out;
}

std::vector<uint8_t> EncodeMessage(uint32_t command, uint32_t arg0, uint32_t arg1, std::string_view payload) {
    return EncodeMessage(command, arg0, arg1,
                         std::span(reinterpret_cast<const uint8_t*>(payload.data()), payload.size()));
}

std::string CommandName(uint32_t command) {
    switch (command) {
    case kCnxn: return "CNXN";
    case kOpen: return "OPEN";
    case kOkay: return "OKAY";
    case kWrte: return "WRTE";
    case kClse: return "CLSE";
    case kStat: return "STAT";
    case kAuth: return "AUTH";
    default: break;
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", unsigned(command));
    return text;
}

void MessageDecoder::Feed(std::span<const uint8_t> bytes) {
    // Drop consumed bytes before growing, so the buffer stays near one message in size.
    if (offset_ > 0 && (offset_ == buffer_.size() || offset_ >= buffer_.size() / 2)) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + std::ptrdiff_t(offset_));
        offset_ = 0;
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

bool MessageDecoder::Next(Message& out) {
    if (Buffered() < kHeaderSize) return false;
    const uint8_t* h = buffer_.data() + offset_;
    const uint32_t command = ReadLe32(h);
    const uint32_t length = ReadLe32(h + 12);
    const uint32_t check = ReadLe32(h + 16);
    const uint32_t magic = ReadLe32(h + 20);
    if (magic != (command ^ 0xFFFFFFFFu)) {
        char text[96];
        std::snprintf(text, sizeof text, "bad magic 0x%08x for command %s", unsigned(magic),
                      CommandName(command).c_str());
        throw ProtocolError(text);
    }
    if (length > maxPayload_) {
        throw ProtocolError(CommandName(command) + " payload of " + std::to_string(length) +
                            " bytes exceeds the limit of " + std::to_string(maxPayload_));
    }
    if (Buffered() < kHeaderSize + length) return false;
    std::span<const uint8_t> payload(h + kHeaderSize, length);
    if (Checksum(payload) != check) {
        throw ProtocolError("wrong checksum on " + CommandName(command) + " message");
    }
    out.command = command;
    out.arg0 = ReadLe32(h + 4);
    out.arg1 = ReadLe32(h + 8);
    out.payload.assign(payload.begin(), payload.end());
    offset_ += kHeaderSize + length;
    return true;
}

DeviceBanner ParseDeviceBanner(std::span<const uint8_t> payload) {
    std::string text(payload.begin(), payload.end());
    // The banner ends at its NUL; anything after it is not part of it.
    if (auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);

    DeviceBanner banner;
    banner.kind = text.substr(0, text.find(':'));
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t sep = text.find("::", start);
        parts.push_back(text.substr(start, sep == std::string::npos ? std::string::npos : sep - start));
        if (sep == std::string::npos) break;
        start = sep + 2;
    }
    if (parts.size() == 3) {
        if (parts[1] != "unknown") banner.model = parts[1];
        banner.locked = parts[2] == "1";
    }
    return banner;
}

}  // namespace kb::wire
