// The TV's answers as the probe reads them: the REST answer (good ones, and a table of bad and
// hostile bytes, every cut and byte flip of a good one), when reading may stop, and the cause
// from port, device and this PC's addresses, one row per cause.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/TvProbe.h"

namespace {

using namespace tvprobe;

const std::string kDevice =
    R"j({"device":{"FrameTVSupport":"false","GamePadSupport":"true","ImeSyncedSupport":"true",)j"
    R"j("Language":"ru_RU","OS":"Tizen","PowerState":"on","TokenAuthSupport":"true","VoiceSupport":"true",)j"
    R"j("countryCode":"RU","description":"Samsung DTV RCR","developerIP":"192.168.1.20","developerMode":"1",)j"
    R"j("duid":"uuid:3ad3c3a0-1a2b-4c5d-8e9f-a0b1c2d3e4f5","firmwareVersion":"Unknown",)j"
    R"j("id":"uuid:3ad3c3a0-1a2b-4c5d-8e9f-a0b1c2d3e4f5","ip":"192.168.1.31","model":"19_MUSEL_UHD",)j"
    R"j("modelName":"UE43RU7400UXRU","name":"[TV] Samsung 7 Series (43)","networkType":"wireless",)j"
    R"j("resolution":"3840x2160","smartHubAgreement":"true","type":"Samsung SmartTV",)j"
    R"j("udn":"uuid:3ad3c3a0-1a2b-4c5d-8e9f-a0b1c2d3e4f5","wifiMac":"8c:79:f5:12:34:56"},)j"
    R"j("id":"uuid:3ad3c3a0-1a2b-4c5d-8e9f-a0b1c2d3e4f5","isSupport":"{}","name":"[TV] Samsung 7 Series (43)",)j"
    R"j("remote":"1.0","type":"Samsung SmartTV","uri":"http://192.168.1.31:8001/api/v2/","version":"2.0.25"})j";

std::string Answer(const std::string& body, const std::string& extraHead = "", bool length = true) {
    std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=utf-8\r\n" + extraHead;
    if (length) head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    return head + "\r\n" + body;
}

const TvDevice kExpected{
    "1",     "192.168.1.20", "UE43RU7400UXRU", "[TV] Samsung 7 Series (43)", "192.168.1.31",
    "Tizen", "on",           "Samsung SmartTV"};

TEST(ParseDeviceAnswer, ReadsWhatTheTvSays) {
    struct Row {
        const char* what;
        std::string bytes;
    };
    const Row rows[] = {
        {"with Content-Length", Answer(kDevice)},
        {"bytes after the body are not read", Answer(kDevice) + "HTTP/1.1 200 OK\r\n"},
        {"no Content-Length: the body runs to the close", Answer(kDevice, "", false)},
        {"bare LF line ends, header names in any case",
         "HTTP/1.0 200 OK\ncontent-length: " + std::to_string(kDevice.size()) + "\n\n" + kDevice},
        {"the status line without a reason", "HTTP/1.1 200\r\n\r\n" + kDevice},
    };
    for (const Row& row : rows) {
        const auto device = ParseDeviceAnswer(row.bytes);
        ASSERT_TRUE(device) << row.what;
        EXPECT_EQ(*device, kExpected) << row.what;
    }
}

TEST(ParseDeviceAnswer, FieldsAreFitForABox) {
    const std::string longName(100, 'W');
    const auto device = ParseDeviceAnswer(
        Answer(R"({"device":{"developerMode":1,"developerIP":" 10.0.0.5 ","modelName":"UE43\u0007RU\n7400",)"
               R"("name":"\u00e9)" +
               longName + R"(","OS":["Tizen"],"PowerState":true}})"));
    ASSERT_TRUE(device);
    EXPECT_EQ(device->developerMode, "1");       // a number where a string is usual
    EXPECT_EQ(device->developerIP, "10.0.0.5");  // trimmed
    EXPECT_EQ(device->modelName, "UE43RU7400");  // control characters dropped
    EXPECT_EQ(device->name, "\xC3\xA9" + std::string(kMaxFieldBytes - 2, 'W'));
    // é across the limit
    EXPECT_EQ(ParseDeviceAnswer(
                  Answer(R"({"device":{"name":")" + std::string(kMaxFieldBytes - 1, 'W') + R"(\u00e9"}})"))
                  ->name,
              std::string(kMaxFieldBytes - 1, 'W'));  // never half a character
    EXPECT_EQ(device->os, "");                        // not a string: left out
    EXPECT_EQ(device->powerState, "1");
    EXPECT_EQ(device->ip, "");  // missing
    EXPECT_TRUE(ParseDeviceAnswer(Answer(R"({"device":{}})")));
}

// Bytes a TV, another device or a broken network may send: none is an answer, none throws or
// crashes (the host tier runs under ASan and UBSan).
TEST(ParseDeviceAnswer, AnythingElseIsNoAnswer) {
    const std::string big(kMaxAnswerBytes, ' ');
    std::string deep = R"({"device":{},"x":)";
    while (deep.size() < 60000) deep += "[";
    struct Row {
        const char* what;
        std::string bytes;
    };
    const Row rows[] = {
        {"nothing", ""},
        {"only the status line", "HTTP/1.1 200 OK\r\n"},
        {"no blank line", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n{}"},
        {"an older set's 404", "HTTP/1.1 404 Not Found\r\nContent-Length: " + std::to_string(kDevice.size()) +
                                   "\r\n\r\n" + kDevice},
        {"a redirect", "HTTP/1.1 301 Moved\r\nLocation: /\r\n\r\n" + kDevice},
        {"chunked", Answer(std::to_string(kDevice.size()) + "\r\n" + kDevice + "\r\n0\r\n\r\n",
                           "Transfer-Encoding: chunked\r\n", false)},
        {"chunked beside a length", Answer(kDevice, "Transfer-Encoding: chunked\r\n")},
        {"HTTP/2 status line", "HTTP/2 200\r\n\r\n" + kDevice},
        {"not HTTP", "SSH-2.0-OpenSSH_9.2\r\n\r\n" + kDevice},
        {"status not three digits", "HTTP/1.1 2000 OK\r\n\r\n" + kDevice},
        {"status with a sign", "HTTP/1.1 +20 OK\r\n\r\n" + kDevice},
        {"a header line without a colon", "HTTP/1.1 200 OK\r\nbroken\r\n\r\n" + kDevice},
        {"a header line with an empty name", "HTTP/1.1 200 OK\r\n: x\r\n\r\n" + kDevice},
        {"Content-Length not a number", Answer(kDevice, "Content-Length: 12a\r\n", false)},
        {"Content-Length negative", Answer(kDevice, "Content-Length: -1\r\n", false)},
        {"Content-Length empty", Answer(kDevice, "Content-Length:\r\n", false)},
        {"Content-Length huge", Answer(kDevice, "Content-Length: 99999999999999999999\r\n", false)},
        {"two lengths that differ", Answer(kDevice, "Content-Length: 3\r\n")},
        {"body shorter than its length", Answer(kDevice, "Content-Length: 2000\r\n", false)},
        {"a length that cuts the JSON", Answer(kDevice, "Content-Length: 20\r\n", false)},
        {"not JSON", Answer("<html><body>Samsung</body></html>")},
        {"JSON but an array", Answer("[" + kDevice + "]")},
        {"JSON but a string", Answer(R"("device")")},
        {"no device object", Answer(R"({"id":"uuid:1","name":"TV"})")},
        {"device not an object", Answer(R"({"device":"UE43RU7400UXRU"})")},
        {"device null", Answer(R"({"device":null})")},
        {"two JSON texts", Answer(kDevice + kDevice)},
        {"invalid UTF-8 in a string", Answer(R"({"device":{"name":")" + std::string("\xC3\x28") + R"("}})")},
        {"a NUL after the JSON", Answer(std::string(R"({"device":{}})") + std::string(1, '\0') + "x")},
        {"nesting deep within the limit", Answer(deep, "", false)},
        {"a number beyond double", Answer(R"({"device":{"developerMode":1e999999}})")},
        {"over 64 KiB with a length", Answer(kDevice + big)},
        {"over 64 KiB, no length", Answer(kDevice + big, "", false)},
        {"a head that never ends", "HTTP/1.1 200 OK\r\nX: " + big + big},
        {"bytes of every value",
         [] {
             std::string all = "HTTP/1.1 200 OK\r\n\r\n";
             for (int i = 0; i < 256; ++i) all.push_back(char(i));
             return all;
         }()},
    };
    for (const Row& row : rows) {
        EXPECT_FALSE(ParseDeviceAnswer(row.bytes)) << row.what;
        EXPECT_NO_THROW(AnswerReadEnough(row.bytes)) << row.what;
    }
}

// Every cut of a good answer that has a length is no answer; every single flipped byte parses
// without harm (some flips still make an answer: a changed letter in a value).
TEST(ParseDeviceAnswer, CutsAndFlipsOfAGoodAnswer) {
    const std::string good = Answer(kDevice);
    for (size_t n = 0; n < good.size(); ++n)
        ASSERT_FALSE(ParseDeviceAnswer(std::string_view(good).substr(0, n))) << "cut at " << n;
    std::uint32_t seed = 12345;
    for (size_t at = 0; at < good.size(); ++at) {
        std::string flipped = good;
        seed = seed * 1664525u + 1013904223u;
        flipped[at] = char(flipped[at] ^ char(1 + (seed >> 24) % 255));
        static_cast<void>(ParseDeviceAnswer(flipped));
        static_cast<void>(AnswerReadEnough(flipped));
    }
}

TEST(AnswerReadEnough, StopsOnlyWhenMoreCannotChangeTheAnswer) {
    const std::string good = Answer(kDevice);
    EXPECT_TRUE(AnswerReadEnough(good));
    EXPECT_FALSE(AnswerReadEnough(good.substr(0, good.size() - 1)));  // the last byte is still due
    EXPECT_FALSE(AnswerReadEnough("HTTP/1.1 200 OK\r\nContent-Le"));
    EXPECT_FALSE(AnswerReadEnough(Answer(kDevice, "", false)));  // no length: read to the close
    EXPECT_TRUE(AnswerReadEnough("HTTP/1.1 404 Not Found\r\n\r\n"));
    EXPECT_TRUE(AnswerReadEnough("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"));
    EXPECT_TRUE(AnswerReadEnough("<html>\n"));
    EXPECT_FALSE(AnswerReadEnough(std::string(kMaxAnswerBytes, 'x')));
    EXPECT_TRUE(AnswerReadEnough(std::string(kMaxAnswerBytes + 1, 'x')));
}

TEST(DeviceRequest, AsksForTheDeviceAndCloses) {
    EXPECT_EQ(DeviceRequest("192.168.1.31", 8001),
              "GET /api/v2/ HTTP/1.1\r\nHost: 192.168.1.31:8001\r\nAccept: application/json\r\n"
              "Connection: close\r\n\r\n");
}

TEST(ReversedIPv4, TurnsTheFourNumbersRound) {
    EXPECT_EQ(ReversedIPv4("192.168.1.5"), "5.1.168.192");
    EXPECT_EQ(ReversedIPv4(" 10.0.0.10 "), "10.0.0.10");
    for (const char* bad :
         {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1..2.3", "a.b.c.d", "1.2.3.4 x", "1234.1.1.1"})
        EXPECT_EQ(ReversedIPv4(bad), "") << bad;
}

TEST(Judge, OneCauseForEveryCase) {
    const std::vector<std::string> pc = {"10.8.0.3", "192.168.1.20"};  // a VPN and the home network
    auto device = [](const char* mode, const char* hostIp) {
        TvDevice d = kExpected;
        d.developerMode = mode;
        d.developerIP = hostIp;
        return std::optional<TvDevice>(d);
    };
    using P = PortAnswer;
    using F = FailureCause;
    const std::string model = "UE43RU7400UXRU";
    struct Row {
        const char* what;
        P port;
        std::optional<TvDevice> device;
        Judgement expected;
    };
    const Row rows[] = {
        {"TV off or other network", P::NoAnswer, std::nullopt, {F::NothingAnswers, "", "", ""}},
        {"something refuses, no TV service", P::Refused, std::nullopt, {F::NotATv, "", "", ""}},
        {"an older set turning the PC away", P::ClosedAtOnce, std::nullopt, {F::TvTurnedPcAway, "", "", ""}},
        {"open port and no service", P::Open, std::nullopt, {F::Unknown, "", "", ""}},
        {"developer mode off", P::Refused, device("0", "0.0.0.0"), {F::DevModeOff, model, "0.0.0.0", ""}},
        {"off, an old Host PC IP",
         P::Refused,
         device("0", "192.168.1.99"),
         {F::DevModeOff, model, "192.168.1.99", ""}},
        {"on, but no Host PC IP", P::ClosedAtOnce, device("1", ""), {F::DevModeOff, model, "", ""}},
        {"Host PC IP another PC",
         P::ClosedAtOnce,
         device("1", "192.168.1.99"),
         {F::HostIpOther, model, "192.168.1.99", ""}},
        {"another PC, the flag not taken up yet",
         P::ClosedAtOnce,
         device("0", "192.168.1.99"),
         {F::HostIpOther, model, "192.168.1.99", ""}},
        {"Host PC IP backwards",
         P::ClosedAtOnce,
         device("1", "20.1.168.192"),
         {F::HostIpReversed, model, "20.1.168.192", "192.168.1.20"}},
        {"backwards, port refused",
         P::Refused,
         device("1", "3.0.8.10"),
         {F::HostIpReversed, model, "3.0.8.10", "10.8.0.3"}},
        {"on, this PC, port refused: not active",
         P::Refused,
         device("1", "192.168.1.20"),
         {F::DevModeInactive, model, "192.168.1.20", "192.168.1.20"}},
        {"on, this PC, port silent",
         P::NoAnswer,
         device("1", "10.8.0.3"),
         {F::DevModeInactive, model, "10.8.0.3", "10.8.0.3"}},
        {"this PC, turned away: the new address not taken up",
         P::ClosedAtOnce,
         device("0", "192.168.1.20"),
         {F::DevModeInactive, model, "192.168.1.20", "192.168.1.20"}},
        {"the port took it and kept it",
         P::Open,
         device("1", "192.168.1.99"),
         {F::StoppedAnswering, model, "192.168.1.99", ""}},
    };
    for (const Row& row : rows) EXPECT_EQ(Judge(row.port, row.device, pc), row.expected) << row.what;

    // A palindromic address is this PC's, not backwards; with no address of its own, every Host
    // PC IP is another PC's.
    EXPECT_EQ(Judge(P::Refused, device("1", "10.0.0.10"), {"10.0.0.10"}).cause, F::DevModeInactive);
    EXPECT_EQ(Judge(P::ClosedAtOnce, device("1", "10.0.0.10"), {}).cause, F::HostIpOther);
    EXPECT_EQ(Judge(P::ClosedAtOnce, device("1", "not an address"), pc).cause, F::DevModeOff);
}

}  // namespace
