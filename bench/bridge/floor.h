// The protocol's floor for what the bridge client does over a link: the time no client can beat
// when every WRTE waits for its OKAY (one write outstanding per stream), nothing is opened before
// the TV's CNXN, and a stream's data needs the TV's OKAY to the OPEN. It counts round trips times
// the RTT plus every byte of both directions over the link rate, since each exchange waits for
// the one before. The TCP handshake is left out: the link emulator does not delay it.
#pragma once

#include <cstdint>
#include <string_view>

namespace kb::bench {

struct LinkShape {
    double rttMs;
    double rateMbit;
};

struct Floor {
    int roundTrips = 0;
    uint64_t bytes = 0;  // both directions, message headers included
    double Ms(LinkShape link) const {
        return roundTrips * link.rttMs + double(bytes) * 8.0 / (link.rateMbit * 1000.0);
    }
};

constexpr uint64_t kHeader = 24;
constexpr uint64_t kSyncData = 65536;
constexpr uint64_t kHandshakeBytes = kHeader + 7 + kHeader + 32;  // both CNXNs, banners included

// One exchange of a request of `request` payload bytes and its answer of `answer` bytes.
inline void Exchange(Floor& f, uint64_t request, uint64_t answer) {
    f.roundTrips += 1;
    f.bytes += kHeader + request + kHeader + answer;
}

// push of `fileBytes` to `remotePath`: CNXN, OPEN "sync:", then SEND, the DATA chunks, DONE and
// QUIT packed into as few WRTEs of `maxPayload` as they fill; the TV's sync OKAY comes with the
// OKAY of the last WRTE.
inline Floor PushFloor(uint64_t fileBytes, std::string_view remotePath, uint32_t maxPayload) {
    Floor f;
    f.roundTrips = 1;
    f.bytes = kHandshakeBytes;
    Exchange(f, 6, 0);  // OPEN "sync:" and its OKAY
    const uint64_t chunks = (fileBytes + kSyncData - 1) / kSyncData;
    uint64_t sync = 8 + remotePath.size() + 6 + fileBytes + 8 * chunks + 8 + 8;
    while (sync > 0) {
        const uint64_t n = sync < maxPayload ? sync : maxPayload;
        Exchange(f, n, 0);
        sync -= n;
    }
    f.bytes += kHeader + 8;  // the TV's sync OKAY, in the last round trip
    return f;
}

// connect, then one shell command whose output fits one WRTE: CNXN for connect; CNXN, OPEN
// answered by OKAY and the output, then our OKAY answered by the TV's CLSE.
inline Floor ConnectShellFloor(std::string_view service, uint64_t outputBytes) {
    Floor f;
    f.roundTrips = 2;
    f.bytes = 2 * kHandshakeBytes;
    Exchange(f, service.size() + 1, kHeader + outputBytes);
    Exchange(f, 0, 0);
    return f;
}

}  // namespace kb::bench
