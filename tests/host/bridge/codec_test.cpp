// Message and sync codecs against byte layouts taken from the protocol notes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sync.h"
#include "wire.h"

namespace kb {
namespace {

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> Le(std::initializer_list<uint32_t> words) {
    std::vector<uint8_t> out;
    for (uint32_t w : words) wire::AppendLe32(out, w);
    return out;
}

TEST(Wire, HostConnectMessageHasTheKnownLayout) {
    std::vector<uint8_t> m = wire::EncodeMessage(
        wire::kCnxn, wire::kHostVersion, wire::kHostMaxPayload,
        std::span(reinterpret_cast<const uint8_t*>(wire::kHostBanner.data()), wire::kHostBanner.size()));
    ASSERT_EQ(m.size(), 24u + 7u);
    EXPECT_EQ(std::string(m.begin(), m.begin() + 4), "CNXN");
    EXPECT_EQ(wire::ReadLe32(&m[4]), 0x00100000u);
    EXPECT_EQ(wire::ReadLe32(&m[8]), 262144u);
    EXPECT_EQ(wire::ReadLe32(&m[12]), 7u);
    EXPECT_EQ(wire::ReadLe32(&m[16]), 562u);  // byte sum of "host::\0"
    EXPECT_EQ(wire::ReadLe32(&m[20]), 0xb1a7b1bcu);
    EXPECT_EQ(std::string(m.begin() + 24, m.end()), std::string("host::\0", 7));
}

TEST(Wire, CommandBytesAndMagicsMatchTheWire) {
    struct Case {
        uint32_t command;
        const char* text;
        uint32_t magic;
    };
    for (const Case& c : {Case{wire::kOpen, "OPEN", 0xb1baafb0u}, Case{wire::kOkay, "OKAY", 0xa6beb4b0u},
                          Case{wire::kWrte, "WRTE", 0xbaabada8u}, Case{wire::kClse, "CLSE", 0xbaacb3bcu},
                          Case{wire::kStat, "STAT", 0xabbeabacu}}) {
        std::vector<uint8_t> m = wire::EncodeMessage(c.command, 1, 2);
        EXPECT_EQ(std::string(m.begin(), m.begin() + 4), c.text);
        EXPECT_EQ(wire::ReadLe32(&m[20]), c.magic) << c.text;
    }
}

TEST(Wire, ChecksumIsAnUnsignedByteSumThatWraps) {
    EXPECT_EQ(wire::Checksum({}), 0u);
    std::vector<uint8_t> high(300, 0xff);
    EXPECT_EQ(wire::Checksum(high), 300u * 255u);
    // No CRC: order does not matter.
    EXPECT_EQ(wire::Checksum(Bytes("ab")), wire::Checksum(Bytes("ba")));
}

TEST(Wire, DecoderReassemblesMessagesFedOneByteAtATime) {
    std::vector<uint8_t> stream = wire::EncodeMessage(wire::kWrte, 5, 1, "hello");
    wire::AppendMessage(stream, wire::kClse, 5, 1, {});
    wire::MessageDecoder decoder;
    std::vector<wire::Message> got;
    for (uint8_t b : stream) {
        decoder.Feed(std::span(&b, 1));
        wire::Message m;
        while (decoder.Next(m)) got.push_back(m);
    }
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].command, wire::kWrte);
    EXPECT_EQ(got[0].arg0, 5u);
    EXPECT_EQ(got[0].arg1, 1u);
    EXPECT_EQ(std::string(got[0].payload.begin(), got[0].payload.end()), "hello");
    EXPECT_EQ(got[1].command, wire::kClse);
    EXPECT_TRUE(got[1].payload.empty());
    EXPECT_EQ(decoder.Buffered(), 0u);
}

TEST(Wire, DecoderRejectsBadMagicWrongChecksumAndOversize) {
    wire::Message m;
    {
        std::vector<uint8_t> bad = wire::EncodeMessage(wire::kOkay, 1, 2);
        bad[20] ^= 1;
        wire::MessageDecoder d;
        d.Feed(bad);
        EXPECT_THROW(d.Next(m), ProtocolError);
    }
    {
        std::vector<uint8_t> bad = wire::EncodeMessage(wire::kWrte, 1, 2, "data");
        bad.back() ^= 0x20;
        wire::MessageDecoder d;
        d.Feed(bad);
        EXPECT_THROW(d.Next(m), ProtocolError);
    }
    {
        // Only the header of a message one byte over the limit: rejected at once, not awaited.
        std::vector<uint8_t> header = wire::EncodeMessage(wire::kWrte, 1, 2);
        header[12] = 0x01;
        header[13] = 0x10;  // 4097
        wire::MessageDecoder d(4096);
        d.Feed(header);
        EXPECT_THROW(d.Next(m), ProtocolError);
    }
    {
        std::vector<uint8_t> exact = wire::EncodeMessage(wire::kWrte, 1, 2, std::string(4096, 'x'));
        wire::MessageDecoder d(4096);
        d.Feed(exact);
        EXPECT_TRUE(d.Next(m));
    }
}

TEST(Wire, BannerGivesModelAndLockState) {
    auto parse = [](std::string_view text) { return wire::ParseDeviceBanner(Bytes(text)); };
    wire::DeviceBanner b = parse(std::string_view("device::UE43RU7400UXRU::0\0", 26));
    EXPECT_EQ(b.kind, "device");
    EXPECT_EQ(b.model, "UE43RU7400UXRU");
    EXPECT_FALSE(b.locked);
    EXPECT_TRUE(parse("device::UA32N4200::1").locked);
    EXPECT_EQ(parse("device::unknown::0").model, "");
    EXPECT_EQ(parse("device::").model, "");
    EXPECT_EQ(parse("").kind, "");
    EXPECT_EQ(parse(std::string_view("device::A::0\0garbage::x", 24)).model, "A");
}

TEST(Sync, PushRequestsHaveTheKnownLayout) {
    std::vector<uint8_t> out;
    sync::AppendStat(out, "/opt/usr/apps/tmp");
    sync::AppendSend(out, "/opt/usr/apps/tmp/KAVORIN.wgt");
    sync::AppendDataHeader(out, 3);
    out.insert(out.end(), {'a', 'b', 'c'});
    sync::AppendDone(out, 1700000000);
    sync::AppendQuit(out);

    std::vector<uint8_t> want = Le({0x54415453, 17});
    for (char c : std::string("/opt/usr/apps/tmp")) want.push_back(uint8_t(c));
    std::string send = "/opt/usr/apps/tmp/KAVORIN.wgt,33261";
    for (uint32_t w : {0x444e4553u, uint32_t(send.size())}) wire::AppendLe32(want, w);
    want.insert(want.end(), send.begin(), send.end());
    for (uint32_t w : {0x41544144u, 3u}) wire::AppendLe32(want, w);
    want.insert(want.end(), {'a', 'b', 'c'});
    for (uint32_t w : {0x454e4f44u, 1700000000u, 0x54495551u, 0u}) wire::AppendLe32(want, w);
    EXPECT_EQ(out, want);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 4), "STAT");
}

TEST(Sync, ReplyDecoderSplitsStatOkayAndFail) {
    std::vector<uint8_t> bytes = Le({0x54415453, 040755, 4096, 1234});
    auto okay = Le({0x59414b4f, 0});
    bytes.insert(bytes.end(), okay.begin(), okay.end());
    auto fail = Le({0x4c494146, 23});
    bytes.insert(bytes.end(), fail.begin(), fail.end());
    for (char c : std::string("No space left on device")) bytes.push_back(uint8_t(c));

    sync::ReplyDecoder d;
    std::vector<sync::Reply> got;
    for (size_t i = 0; i < bytes.size(); i += 5) {
        d.Feed(std::span(bytes).subspan(i, std::min<size_t>(5, bytes.size() - i)));
        sync::Reply r;
        while (d.Next(r)) got.push_back(r);
    }
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].id, sync::kStat);
    EXPECT_EQ(got[0].mode, 040755u);
    EXPECT_EQ(got[0].size, 4096u);
    EXPECT_EQ(got[0].mtime, 1234u);
    EXPECT_EQ(got[1].id, sync::kOkay);
    EXPECT_EQ(got[2].id, sync::kFail);
    EXPECT_EQ(got[2].text, "No space left on device");
}

TEST(Sync, ReplyDecoderRejectsUnknownIdsAndHugeFailures) {
    sync::Reply r;
    sync::ReplyDecoder unknown;
    unknown.Feed(Le({0x41544144, 10}));  // DATA is never a reply to a push
    EXPECT_THROW(unknown.Next(r), ProtocolError);
    sync::ReplyDecoder huge;
    huge.Feed(Le({0x4c494146, 0x7fffffff}));
    EXPECT_THROW(huge.Next(r), ProtocolError);
}

TEST(Sync, RemoteDirectoryAndBaseNames) {
    EXPECT_TRUE(sync::EndsWithSeparator("/opt/usr/apps/tmp/"));
    EXPECT_TRUE(sync::EndsWithSeparator("tmp\\"));
    EXPECT_FALSE(sync::EndsWithSeparator("/opt/usr/apps/tmp/KAVORIN.wgt"));
    EXPECT_FALSE(sync::EndsWithSeparator(""));
    EXPECT_EQ(sync::BaseName("KAVORIN.wgt"), "KAVORIN.wgt");
    EXPECT_EQ(sync::BaseName("C:\\work\\out/KAVORIN.wgt"), "KAVORIN.wgt");
    EXPECT_EQ(sync::BaseName("dir/"), "");
}

}  // namespace
}  // namespace kb
