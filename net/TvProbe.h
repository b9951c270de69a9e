// Asking the TV itself why it turned this PC away: what its developer port did, what its own
// REST service (GET /api/v2/ on port 8001) says about developer mode, and one cause from both.
// Portable and pure; the Windows probe that asks the TV is in TvProbeWin.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/FailureCause.h"

namespace tvprobe {

// What port 26101 did when asked.
enum class PortAnswer {
    Refused,       // refused at once: nothing listens (developer mode off, or on but not active yet)
    NoAnswer,      // no answer in the bound: TV off, wrong address, other network
    ClosedAtOnce,  // accepted, then closed (or reset) at once: the TV turns this PC away
    Open,          // accepted and kept open
};

// The fields of the REST answer's `device` object that the judgement uses. Values as the TV wrote
// them (strings), trimmed, without control characters, at most kMaxFieldBytes bytes of UTF-8
// each; a field the TV left out is empty.
struct TvDevice {
    std::string developerMode;  // "1" on, "0" off (stays "0" until the TV was unplugged once)
    std::string developerIP;    // the Host PC IP the TV holds; "0.0.0.0" or "" when none
    std::string modelName;      // e.g. "UE43RU7400UXRU"
    std::string name;
    std::string ip;
    std::string os;
    std::string powerState;  // newer sets only
    std::string type;        // "Samsung SmartTV" on a TV
    bool operator==(const TvDevice&) const = default;
};

inline constexpr std::size_t kMaxAnswerBytes = 64 * 1024;  // the most of an answer that is read
inline constexpr std::size_t kMaxFieldBytes = 64;

// The request the probe sends (one HTTP/1.1 GET of /api/v2/, the connection closed after it).
std::string DeviceRequest(std::string_view address, unsigned port);

// Whether reading more of an answer cannot change what ParseDeviceAnswer makes of it: over
// kMaxAnswerBytes, the head complete and the body as long as its Content-Length, or the head
// already says it is no answer (not 200, chunked, malformed). Never throws.
bool AnswerReadEnough(std::string_view bytes) noexcept;

// The device record from the whole response to DeviceRequest (everything read until the TV
// closed, or until AnswerReadEnough). Status 200 with a JSON object holding an object `device`,
// the body as long as Content-Length says (or up to the end where there is none), all of it at
// most kMaxAnswerBytes. Anything else (chunked, malformed, not JSON, too large, cut short, no
// device object) is no answer. Never throws, whatever the bytes.
std::optional<TvDevice> ParseDeviceAnswer(std::string_view bytes) noexcept;

// A dotted-decimal IPv4 address (blanks around it allowed) as a number, its first part in the
// highest byte; nullopt for anything else.
std::optional<std::uint32_t> ParseIPv4(std::string_view text);

// A number as ParseIPv4 gives it, in dotted decimal.
std::string IPv4Text(std::uint32_t address);

// The dotted-decimal address with its four numbers in the other order ("192.168.1.5" gives
// "5.1.168.192"), as a TV whose menu is written right to left stores a typed Host PC IP.
// Empty when `address` is not a dotted-decimal IPv4 address.
std::string ReversedIPv4(std::string_view address);

// What the TV's answers say, as one of the causes the box names:
//   NothingAnswers   neither port answers: TV off, address wrong, other network
//   NotATv           26101 refused and no REST answer: not the TV, or an older set with
//                    developer mode off
//   DevModeOff       developerMode "0" (or no Host PC IP), port closed
//   HostIpOther      Host PC IP names another PC
//   HostIpReversed   Host PC IP is this PC's address read backwards
//   DevModeInactive  on, with this PC's address, but the port is closed: unplug the TV
//   TvTurnedPcAway   accepted and closed, no REST answer: what the logs alone say
//   StoppedAnswering the TV answers and its port accepted and kept the connection: it does not
//                    turn this PC away, yet the client's handshake went unanswered
//   Unknown          anything else: the logs' word stands
struct Judgement {
    FailureCause cause = FailureCause::Unknown;
    std::string modelName;    // from the TV, empty when it gave none
    std::string developerIP;  // the Host PC IP the TV holds, as it gave it; empty without REST
    // HostIpReversed, DeveloperModeInactive: the PC's address the TV's Host PC IP matched
    // (backwards for HostIpReversed). Empty otherwise: for HostIpOther the box names the PC's
    // address on the TV's subnet itself.
    std::string pcAddress;
    bool operator==(const Judgement&) const = default;
};

// From what the port did, the REST answer (if any) and this PC's IPv4 addresses (dotted decimal).
Judgement Judge(PortAnswer port, const std::optional<TvDevice>& device,
                const std::vector<std::string>& pcAddresses);

}  // namespace tvprobe
