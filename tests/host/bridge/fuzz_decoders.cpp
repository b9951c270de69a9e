// libFuzzer entry: every parser that reads bytes from a device or from disk. The first byte
// picks the message decoder's limit; the rest is fed in uneven slices.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "state.h"
#include "sync.h"
#include "wire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint32_t limit = data[0] & 1 ? kb::wire::kHostMaxPayload : kb::wire::kDefaultDeviceMaxPayload;
    std::span<const uint8_t> bytes(data + 1, size - 1);

    try {
        kb::wire::MessageDecoder decoder(limit);
        kb::wire::Message m;
        for (size_t i = 0, step = 1; i < bytes.size(); i += step, step = step * 3 % 61 + 1) {
            decoder.Feed(bytes.subspan(i, std::min(step, bytes.size() - i)));
            while (decoder.Next(m)) {
                if (m.payload.size() > limit) __builtin_trap();
                if (m.command == kb::wire::kCnxn) (void)kb::wire::ParseDeviceBanner(m.payload);
            }
        }
    } catch (const kb::ProtocolError&) {}

    try {
        kb::sync::ReplyDecoder replies;
        kb::sync::Reply r;
        for (size_t i = 0; i < bytes.size(); i += 7) {
            replies.Feed(bytes.subspan(i, std::min<size_t>(7, bytes.size() - i)));
            while (replies.Next(r)) {
                if (r.text.size() > kb::sync::kMaxFailText) __builtin_trap();
            }
        }
    } catch (const kb::ProtocolError&) {}

    (void)kb::ParseTargets(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return 0;
}
