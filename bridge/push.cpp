#include "push.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "format.h"
#include "gone.h"
#include "sync.h"
#include "target.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kb {

namespace {

using Clock = net::Clock;

constexpr const char* kPushWarning =
    "WARNING: Your data are to be sent over an unencrypted connection and could be read by "
    "others.\n";
constexpr int kPushFatal = 255;

uint64_t MicrosSince(Clock::time_point start) {
    return uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count());
}

// ---- the local file (UTF-8 names; wide API on Windows) ----

#ifdef _WIN32
std::wstring Widen(const std::string& text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), n);
    return wide;
}
#endif

struct LocalFile {
    uint64_t size = 0;
    uint32_t mtime = 0;
    bool regular = false;
};

// False with errno set when the file cannot be looked at.
bool StatLocal(const std::string& path, LocalFile& info) {
#ifdef _WIN32
    struct _stat64 st;
    if (_wstat64(Widen(path).c_str(), &st) != 0) return false;
#else
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return false;
#endif
    info.size = uint64_t(st.st_size);
    info.mtime = uint32_t(st.st_mtime);
    info.regular = (st.st_mode & S_IFMT) == S_IFREG;
    return true;
}

FILE* OpenLocal(const std::string& path) {
#ifdef _WIN32
    return _wfopen(Widen(path).c_str(), L"rb");
#else
    return std::fopen(path.c_str(), "rb");
#endif
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

// Sends sync bytes in WRTEs of the device's full size, keeping the tail for the next call.
class SyncWriter {
public:
    SyncWriter(DeviceLink& link, Stream& stream, int idleMs)
        : link_(link), stream_(stream), idleMs_(idleMs) {}
    std::vector<uint8_t>& Buffer() { return buffer_; }
    void SendFull() {
        const size_t full = buffer_.size() / link_.MaxSend() * link_.MaxSend();
        if (full == 0) return;
        link_.Write(stream_, std::span(buffer_.data(), full), idleMs_);
        buffer_.erase(buffer_.begin(), buffer_.begin() + std::ptrdiff_t(full));
    }
    void SendAll() {
        link_.Write(stream_, buffer_, idleMs_);
        buffer_.clear();
    }

private:
    DeviceLink& link_;
    Stream& stream_;
    int idleMs_;
    std::vector<uint8_t> buffer_;
};

// One push, its steps in the order they happen. The file goes to `remote` as named, with no STAT
// ahead of it: a STAT answer would be one more device write on the stream, a round trip of its own
// when the file fits in one write. Should `remote` be a directory, the device refuses to write a
// file over it; only then is the STAT asked, on a stream of its own, and the push starts again
// there with the local name appended.
class Push {
public:
    Push(const Invocation& inv, const Settings& settings, Console& console)
        : inv_(inv),
          console_(console),
          settings_(settings),
          idleMs_(settings.timeouts.idleMs),
          link_(settings.timeouts),
          remote_(inv.remote) {}
    int Run();

private:
    // How one attempt on one sync stream ended.
    struct Attempt {
        bool refused = false;
        std::string reason;     // refused: the device's FAIL text
        bool quitSent = false;  // QUIT went out with DONE
    };

    bool OpenSyncStream();
    std::optional<std::string> OpenLocalFile();
    int SendUntilAnswered();
    Attempt SendFile();
    std::optional<sync::Reply> SendData(SyncWriter& writer, sync::ReplyDecoder& replies);
    void ShowProgress();
    sync::Reply ReadReply(sync::ReplyDecoder& replies);
    Attempt Answered(const sync::Reply& status, Attempt attempt) const;
    bool RemoteIsDirectory();
    int Pushed();
    void Quit();
    int Fail(const std::string& line);

    const Invocation& inv_;
    Console& console_;
    const Settings& settings_;
    const int idleMs_;
    DeviceLink link_;
    std::optional<Stream> stream_;
    std::string remote_;
    LocalFile info_;
    std::unique_ptr<FILE, FileCloser> file_;
    std::string baseName_;
    uint64_t done_ = 0;  // bytes of the file sent in this attempt
    Clock::time_point start_, lastProgress_;
    bool progressShown_ = false;
};

int Push::Run() {
    if (!OpenSyncStream()) {
        console_.Err(gone::kNoSyncChannel);
        return kPushFatal;
    }
    console_.Out(kPushWarning);
    if (std::optional<std::string> error = OpenLocalFile()) {
        Quit();
        return Fail(*error);
    }
    start_ = lastProgress_ = Clock::now();
    try {
        return SendUntilAnswered();
    } catch (const std::exception& e) {
        return Fail(gone::FailedToPush(inv_.local, Reason(e)));
    }
}

// The target, its connection and a "sync:" stream on it; false after the line that says why not.
bool Push::OpenSyncStream() {
    std::optional<Resolved> target = ResolveTarget(inv_, settings_, console_);
    if (!target || !Reach(link_, *target, console_)) return false;
    try {
        stream_ = link_.Open("sync:");
    } catch (const std::exception& e) {
        console_.Err(Describe(e));
    }
    return stream_.has_value();
}

// The local file's size and time, and the file opened; otherwise the line that says why not.
std::optional<std::string> Push::OpenLocalFile() {
    if (!StatLocal(inv_.local, info_)) {
        const std::string reason = std::strerror(errno);
        return "error: failed to get status of '" + inv_.local + "': " + reason + "\n";
    }
    file_.reset(info_.regular ? OpenLocal(inv_.local) : nullptr);
    if (!file_) {
        const std::string reason = info_.regular ? std::strerror(errno) : "not a regular file";
        return "error: cannot read '" + inv_.local + "': " + reason + "\n";
    }
    baseName_ = sync::BaseName(inv_.local);
    return std::nullopt;
}

// The file, until the device took it or refused it; once more inside `remote` when that turns
// out to be a directory.
int Push::SendUntilAnswered() {
    bool probed = false;  // a refusal has been checked with a STAT
    if (sync::EndsWithSeparator(remote_)) {
        remote_ += baseName_;
        probed = true;
    }
    for (;;) {
        if (remote_.size() + 6 > sync::kMaxPathLength) {
            Quit();
            return Fail("error: remote path is too long: '" + remote_ + "'\n");
        }
        const Attempt attempt = SendFile();
        if (!attempt.refused) return Pushed();
        if (!probed) {
            probed = true;
            if (RemoteIsDirectory()) {
                // The refused SEND named the directory itself; the STAT's stream pushes under the
                // local name inside it.
                remote_ += "/" + baseName_;
                done_ = 0;
                std::rewind(file_.get());
                continue;
            }
            if (stream_) Quit();
        } else if (attempt.quitSent) {
            link_.Close(*stream_);
        } else {
            Quit();
        }
        return Fail("error: failed to close '" + remote_ + "': " + format::Printable(attempt.reason) + "\n");
    }
}

// One attempt on one sync stream: SEND, the DATA chunks, and at the end DONE with QUIT, filling
// WRTEs of the device's full size; then the device's answer.
Push::Attempt Push::SendFile() {
    Attempt attempt;
    sync::ReplyDecoder replies;
    try {
        SyncWriter writer(link_, *stream_, idleMs_);
        sync::AppendSend(writer.Buffer(), remote_);
        if (std::optional<sync::Reply> early = SendData(writer, replies)) return Answered(*early, attempt);
        sync::AppendDone(writer.Buffer(), info_.mtime);
        sync::AppendQuit(writer.Buffer());
        attempt.quitSent = true;
        writer.SendAll();
        return Answered(ReadReply(replies), attempt);
    } catch (const std::exception&) {
        // A device that refuses the transfer may close the stream right after saying why.
        try {
            replies.Feed(stream_->pending);
            stream_->pending.clear();
            sync::Reply reply;
            if (replies.Next(reply) && reply.id == sync::kFail) return Answered(reply, attempt);
        } catch (const std::exception&) {}
        throw;
    }
}

// The file's bytes in DATA chunks; the device's reply when one arrives before the end.
std::optional<sync::Reply> Push::SendData(SyncWriter& writer, sync::ReplyDecoder& replies) {
    std::vector<uint8_t> chunk(sync::kMaxData);
    for (;;) {
        size_t n = std::fread(chunk.data(), 1, chunk.size(), file_.get());
        if (n == 0) {
            if (std::ferror(file_.get())) throw std::runtime_error("cannot read '" + inv_.local + "'");
            return std::nullopt;
        }
        sync::AppendDataHeader(writer.Buffer(), uint32_t(n));
        writer.Buffer().insert(writer.Buffer().end(), chunk.begin(), chunk.begin() + std::ptrdiff_t(n));
        writer.SendFull();
        done_ += n;
        // The device reports a failure (no space, cannot create) as soon as it happens.
        if (!stream_->pending.empty()) {
            replies.Feed(stream_->pending);
            stream_->pending.clear();
            sync::Reply reply;
            if (replies.Next(reply)) return reply;
        }
        ShowProgress();
    }
}

// A progress line a second.
void Push::ShowProgress() {
    if (Clock::now() - lastProgress_ < std::chrono::seconds(1)) return;
    lastProgress_ = Clock::now();
    console_.Out("\r" +
                 format::PushProgress(baseName_, done_, std::max(done_, info_.size), MicrosSince(start_)));
    progressShown_ = true;
}

// The device's next reply on the stream: among those that arrived while we wrote, or read now.
sync::Reply Push::ReadReply(sync::ReplyDecoder& replies) {
    replies.Feed(stream_->pending);
    stream_->pending.clear();
    sync::Reply reply;
    std::vector<uint8_t> data;
    while (!replies.Next(reply)) {
        if (!link_.Read(*stream_, data, idleMs_)) throw StreamClosed("the device closed the stream");
        replies.Feed(data);
    }
    return reply;
}

// The device's answer to the file: OKAY, or FAIL with its reason.
Push::Attempt Push::Answered(const sync::Reply& status, Attempt attempt) const {
    if (status.id == sync::kFail) {
        attempt.refused = true;
        attempt.reason = status.text;
    } else if (status.id != sync::kOkay) {
        throw ProtocolError("expected OKAY or FAIL after DONE");
    }
    return attempt;
}

// After a refusal: whether `remote` is a directory, asked with a STAT on a new sync stream. False
// also when that cannot be asked: the refusal's own reason is the one to give.
bool Push::RemoteIsDirectory() {
    try {
        link_.Close(*stream_);
        stream_ = link_.Open("sync:");
        if (!stream_) return false;
        std::vector<uint8_t> request;
        sync::AppendStat(request, remote_);
        link_.Write(*stream_, request, idleMs_);
        sync::ReplyDecoder replies;
        const sync::Reply reply = ReadReply(replies);
        return reply.id == sync::kStat && (reply.mode & sync::kModeTypeMask) == sync::kModeDirectory;
    } catch (const std::exception&) {
        return false;
    }
}

// The device's OKAY means the file is complete; its CLSE after our QUIT is not awaited.
int Push::Pushed() {
    const uint64_t elapsed = MicrosSince(start_);
    link_.Close(*stream_);
    console_.Out("\r" + format::PushProgress(baseName_, done_, done_, elapsed) + "\n");
    console_.Out("1 file(s) pushed. 0 file(s) skipped.\n");
    console_.Out(format::PushSummary(inv_.local, done_, elapsed));
    return 0;
}

// QUIT on a stream given up, and a moment for the device to close it.
void Push::Quit() {
    try {
        std::vector<uint8_t> bytes;
        sync::AppendQuit(bytes);
        link_.Write(*stream_, bytes, idleMs_);
        link_.AwaitClose(*stream_, 2000);
    } catch (const std::exception&) {}
}

// The failure's line, on a line of its own after any progress shown.
int Push::Fail(const std::string& line) {
    if (progressShown_) console_.Out("\n");
    console_.Err(line);
    return 1;
}

}  // namespace

int RunPush(const Invocation& inv, const Settings& settings, Console& console) {
    return Push(inv, settings, console).Run();
}

}  // namespace kb
