// File-transfer sub-protocol carried inside a "sync:" stream: request framing for a push and an
// incremental decoder for the device's replies.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kb::sync {

constexpr uint32_t kStat = 0x54415453;
constexpr uint32_t kSend = 0x444e4553;
constexpr uint32_t kData = 0x41544144;
constexpr uint32_t kDone = 0x454e4f44;
constexpr uint32_t kOkay = 0x59414b4f;
constexpr uint32_t kFail = 0x4c494146;
constexpr uint32_t kQuit = 0x54495551;

constexpr size_t kMaxData = 65536;       // largest DATA chunk the device accepts
constexpr size_t kMaxPathLength = 1024;  // largest STAT/SEND name the device accepts
constexpr size_t kMaxFailText = 65536;   // bound on a FAIL reason we are willing to buffer
constexpr uint32_t kPushMode = 33261;    // 0100755: a regular file, as the device expects it
constexpr uint32_t kModeTypeMask = 0170000;
constexpr uint32_t kModeDirectory = 0040000;

// id, length, then the name bytes (no NUL).
void AppendStat(std::vector<uint8_t>& out, std::string_view remotePath);
// id, length, then "<remote path>,<mode in decimal>".
void AppendSend(std::vector<uint8_t>& out, std::string_view remotePath, uint32_t mode = kPushMode);
// id and size only; the caller appends the `size` data bytes.
void AppendDataHeader(std::vector<uint8_t>& out, uint32_t size);
// The mtime stands where a length would be.
void AppendDone(std::vector<uint8_t>& out, uint32_t mtime);
void AppendQuit(std::vector<uint8_t>& out);

// True when a push to `remotePath` names a directory by its spelling alone.
bool EndsWithSeparator(std::string_view remotePath);
// Last component of a local path, either separator accepted.
std::string BaseName(std::string_view localPath);

struct Reply {
    uint32_t id = 0;     // kStat, kOkay or kFail
    uint32_t mode = 0;   // kStat: 0 when the path does not exist
    uint32_t size = 0;   // kStat
    uint32_t mtime = 0;  // kStat
    std::string text;    // kFail: the reason
};

// Splits the device's reply bytes into STAT, OKAY and FAIL replies; anything else throws
// ProtocolError, as does a FAIL longer than kMaxFailText.
class ReplyDecoder {
public:
    void Feed(std::span<const uint8_t> bytes);
    bool Next(Reply& out);
    size_t Buffered() const { return buffer_.size(); }

private:
    std::vector<uint8_t> buffer_;
};

}  // namespace kb::sync
