#include "sync.h"

#include "wire.h"

namespace kb::sync {

namespace {
void AppendRequest(std::vector<uint8_t>& out, uint32_t id, std::string_view body) {
    wire::AppendLe32(out, id);
    wire::AppendLe32(out, uint32_t(body.size()));
    out.insert(out.end(), body.begin(), body.end());
}
}  // namespace

void AppendStat(std::vector<uint8_t>& out, std::string_view remotePath) {
    AppendRequest(out, kStat, remotePath);
}

void AppendSend(std::vector<uint8_t>& out, std::string_view remotePath, uint32_t mode) {
    std::string body(remotePath);
    body += ',';
    body += std::to_string(mode);
    AppendRequest(out, kSend, body);
}

void AppendDataHeader(std::vector<uint8_t>& out, uint32_t size) {
    wire::AppendLe32(out, kData);
    wire::AppendLe32(out, size);
}

void AppendDone(std::vector<uint8_t>& out, uint32_t mtime) {
    wire::AppendLe32(out, kDone);
    wire::AppendLe32(out, mtime);
}

void AppendQuit(std::vector<uint8_t>& out) {
    wire::AppendLe32(out, kQuit);
    wire::AppendLe32(out, 0);
}

bool EndsWithSeparator(std::string_view remotePath) {
    return !remotePath.empty() && (remotePath.back() == '/' || remotePath.back() == '\\');
}

std::string BaseName(std::string_view localPath) {
    size_t sep = localPath.find_last_of("/\\");
    return std::string(sep == std::string_view::npos ? localPath : localPath.substr(sep + 1));
}

void ReplyDecoder::Feed(std::span<const uint8_t> bytes) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

bool ReplyDecoder::Next(Reply& out) {
    if (buffer_.size() < 8) return false;
    const uint8_t* p = buffer_.data();
    const uint32_t id = wire::ReadLe32(p);
    size_t used = 0;
    switch (id) {
    case kStat:
        if (buffer_.size() < 16) return false;
        out = Reply{kStat, wire::ReadLe32(p + 4), wire::ReadLe32(p + 8), wire::ReadLe32(p + 12), {}};
        used = 16;
        break;
    case kOkay:
        out = Reply{kOkay, 0, 0, 0, {}};
        used = 8;
        break;
    case kFail: {
        const uint32_t length = wire::ReadLe32(p + 4);
        if (length > kMaxFailText) {
            throw ProtocolError("sync FAIL reason of " + std::to_string(length) + " bytes is too long");
        }
        if (buffer_.size() < 8 + size_t(length)) return false;
        out = Reply{kFail, 0, 0, 0, std::string(p + 8, p + 8 + length)};
        used = 8 + length;
        break;
    }
    default: throw ProtocolError("unexpected sync reply " + wire::CommandName(id));
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + std::ptrdiff_t(used));
    return true;
}

}  // namespace kb::sync
