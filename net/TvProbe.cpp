#include "TvProbe.h"

#include <algorithm>
#include <cstdint>

#include <nlohmann/json.hpp>

namespace tvprobe {

namespace {

using Json = nlohmann::json;

// What the head of an HTTP response says, as far as it has arrived.
struct Head {
    bool complete = false;   // the blank line after the header fields has arrived
    bool malformed = false;  // not an HTTP response we take
    int status = 0;
    bool chunked = false;  // any Transfer-Encoding: we read plain bodies only
    std::optional<std::size_t> contentLength;
    std::size_t bodyStart = 0;
};

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

bool ParseDecimal(std::string_view text, std::size_t& value) {
    if (text.empty() || text.size() > 9) return false;  // nothing we read comes near 10^9
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
    value = 0;
    for (char c : text) value = value * 10 + std::size_t(c - '0');
    return true;
}

// The status line and the header fields. Lines end in CRLF (a bare LF is taken too).
Head ReadHead(std::string_view bytes) {
    Head head;
    std::size_t at = 0;
    bool first = true;
    for (;;) {
        const std::size_t lf = bytes.find('\n', at);
        if (lf == std::string_view::npos) {
            // A head that does not end within the limit is no answer either.
            if (bytes.size() > kMaxAnswerBytes) head.malformed = true;
            return head;
        }
        std::string_view line = bytes.substr(at, lf - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        at = lf + 1;
        if (first) {
            // "HTTP/1.1 200 OK": the version, one blank, three digits, then a blank or the end.
            first = false;
            if (line.size() < 12 || line.substr(0, 7) != "HTTP/1." || (line[7] != '0' && line[7] != '1') ||
                line[8] != ' ' || (line.size() > 12 && line[12] != ' ')) {
                head.malformed = true;
                return head;
            }
            std::size_t status = 0;
            if (!ParseDecimal(line.substr(9, 3), status)) {
                head.malformed = true;
                return head;
            }
            head.status = int(status);
            continue;
        }
        if (line.empty()) {
            head.complete = true;
            head.bodyStart = at;
            return head;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) {
            head.malformed = true;
            return head;
        }
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = Trim(line.substr(colon + 1));
        if (EqualsNoCase(name, "Transfer-Encoding")) {
            head.chunked = true;
        } else if (EqualsNoCase(name, "Content-Length")) {
            std::size_t length = 0;
            // Unreadable, or two that differ: no answer.
            if (!ParseDecimal(value, length) || (head.contentLength && *head.contentLength != length)) {
                head.malformed = true;
                return head;
            }
            head.contentLength = length;
        }
    }
}

// A string field as the box may show it: trimmed, no control characters, at most
// kMaxFieldBytes bytes, cut at a character boundary (the parser has checked the UTF-8).
std::string Field(const Json& device, const char* key) {
    const auto found = device.find(key);
    if (found == device.end()) return {};
    std::string raw;
    if (found->is_string()) {
        raw = found->get_ref<const std::string&>();
    } else if (found->is_number_integer() || found->is_number_unsigned() || found->is_boolean()) {
        raw = found->is_boolean() ? (found->get<bool>() ? "1" : "0") : found->dump();  // "1" as 1
    } else {
        return {};
    }
    std::string clean;
    for (unsigned char c : raw)
        if (c >= 0x20 && c != 0x7F) clean.push_back(char(c));
    std::string_view text = Trim(clean);
    if (text.size() > kMaxFieldBytes) {
        std::size_t cut = kMaxFieldBytes;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
        text = text.substr(0, cut);
    }
    return std::string(text);
}

std::uint32_t Reverse(std::uint32_t a) {
    return (a & 0xFF) << 24 | (a >> 8 & 0xFF) << 16 | (a >> 16 & 0xFF) << 8 | a >> 24;
}

}  // namespace

std::optional<std::uint32_t> ParseIPv4(std::string_view text) {
    text = Trim(text);
    std::uint32_t address = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (text.empty() || text.front() != '.') return std::nullopt;
            text.remove_prefix(1);
        }
        std::size_t digits = 0;
        while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
        std::size_t number = 0;
        if (digits == 0 || digits > 3 || !ParseDecimal(text.substr(0, digits), number) || number > 255)
            return std::nullopt;
        address = address << 8 | std::uint32_t(number);
        text.remove_prefix(digits);
    }
    if (!text.empty()) return std::nullopt;
    return address;
}

std::string IPv4Text(std::uint32_t a) {
    return std::to_string(a >> 24) + "." + std::to_string(a >> 16 & 0xFF) + "." +
           std::to_string(a >> 8 & 0xFF) + "." + std::to_string(a & 0xFF);
}

std::string DeviceRequest(std::string_view address, unsigned port) {
    std::string request = "GET /api/v2/ HTTP/1.1\r\nHost: ";
    request.append(address);
    request += ':';
    request += std::to_string(port);
    request += "\r\nAccept: application/json\r\nConnection: close\r\n\r\n";
    return request;
}

bool AnswerReadEnough(std::string_view bytes) noexcept {
    if (bytes.size() > kMaxAnswerBytes) return true;
    const Head head = ReadHead(bytes);
    if (head.malformed) return true;
    if (!head.complete) return false;
    if (head.status != 200 || head.chunked) return true;
    return head.contentLength && bytes.size() - head.bodyStart >= *head.contentLength;
}

std::optional<TvDevice> ParseDeviceAnswer(std::string_view bytes) noexcept {
    try {
        if (bytes.size() > kMaxAnswerBytes) return std::nullopt;
        const Head head = ReadHead(bytes);
        if (!head.complete || head.malformed || head.status != 200 || head.chunked) return std::nullopt;
        std::string_view body = bytes.substr(head.bodyStart);
        if (head.contentLength) {
            if (body.size() < *head.contentLength) return std::nullopt;  // cut short
            body = body.substr(0, *head.contentLength);
        }
        // The parser takes a NUL for the end of its input; JSON text never holds one.
        if (body.find('\0') != std::string_view::npos) return std::nullopt;
        const Json answer = Json::parse(body.begin(), body.end(), nullptr, /*allow_exceptions=*/false);
        if (!answer.is_object()) return std::nullopt;  // also what a parse error gives (discarded)
        const auto device = answer.find("device");
        if (device == answer.end() || !device->is_object()) return std::nullopt;
        return TvDevice{
            Field(*device, "developerMode"), Field(*device, "developerIP"), Field(*device, "modelName"),
            Field(*device, "name"),          Field(*device, "ip"),          Field(*device, "OS"),
            Field(*device, "PowerState"),    Field(*device, "type")};
    } catch (...) {
        return std::nullopt;  // out of memory: no answer either
    }
}

std::string ReversedIPv4(std::string_view address) {
    const auto parsed = ParseIPv4(address);
    return parsed ? IPv4Text(Reverse(*parsed)) : std::string();
}

Judgement Judge(PortAnswer port, const std::optional<TvDevice>& device,
                const std::vector<std::string>& pcAddresses) {
    Judgement judgement;
    if (!device) {
        switch (port) {
        case PortAnswer::NoAnswer: judgement.cause = FailureCause::NothingAnswers; break;
        case PortAnswer::Refused: judgement.cause = FailureCause::NotATv; break;
        case PortAnswer::ClosedAtOnce: judgement.cause = FailureCause::TvTurnedPcAway; break;
        case PortAnswer::Open: judgement.cause = FailureCause::Unknown; break;
        }
        return judgement;
    }
    judgement.modelName = device->modelName;
    judgement.developerIP = device->developerIP;
    // The TV's port took the connection and kept it: it did not turn this PC away, yet left the
    // client's handshake unanswered. (Without the TV's own answer, the port may be anything's.)
    if (port == PortAnswer::Open) {
        judgement.cause = FailureCause::StoppedAnswering;
        return judgement;
    }

    // Which of this PC's addresses the Host PC IP names, as it stands or backwards.
    const auto hostIp = ParseIPv4(device->developerIP);
    const bool none = !hostIp || *hostIp == 0;
    std::optional<std::string> same, backwards;
    for (const std::string& text : pcAddresses) {
        const auto pc = ParseIPv4(text);
        if (!pc || none) continue;
        if (*pc == *hostIp && !same) same = std::string(Trim(text));
        if (*pc == Reverse(*hostIp) && !backwards) backwards = std::string(Trim(text));
    }

    const bool on = device->developerMode == "1";
    // Developer mode reads "0" until the TV has been unplugged once after it was switched on, so
    // a port that takes the connection and closes it says more about the Host PC IP than "0" does.
    if (!on && (port != PortAnswer::ClosedAtOnce || none)) {
        judgement.cause = FailureCause::DevModeOff;
    } else if (none) {
        judgement.cause = FailureCause::DevModeOff;  // on, but no Host PC IP: type it
    } else if (same) {
        // This PC's address, and still turned away or refused: the TV has not taken the setting
        // up yet (it does after it was unplugged).
        judgement.cause = FailureCause::DevModeInactive;
        judgement.pcAddress = *same;
    } else if (backwards) {
        judgement.cause = FailureCause::HostIpReversed;
        judgement.pcAddress = *backwards;
    } else {
        judgement.cause = FailureCause::HostIpOther;
    }
    return judgement;
}

}  // namespace tvprobe
