#include "commands.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "args.h"
#include "format.h"
#include "state.h"
#include "sync.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kb {

namespace {

using Clock = net::Clock;

constexpr const char* kPushWarning =
    "WARNING: Your data are to be sent over an unencrypted connection and could be read by "
    "others.\n";
constexpr const char* kMoreThanOne =
    "error: more than one target found. Specify the target with -s option.\n";
constexpr const char* kNoSyncChannel = "fatal: failed to open sync channel: connection fails\n";
constexpr int kPushFatal = 255;

uint64_t MicrosSince(Clock::time_point start) {
    return uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count());
}

// ---- local files (UTF-8 names; wide API on Windows) ----

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

// ---- targets ----

struct Resolved {
    Target target;
    HostPort address;
};

// Picks the target a command talks to, printing the client's usual errors when there is none or
// more than one.
std::optional<Resolved> ResolveTarget(const Invocation& inv, const Settings& settings, Console& console) {
    std::vector<Target> targets = LoadTargets(settings.statePath);
    const Target* chosen = nullptr;
    if (!inv.serial.empty()) {
        for (const Target& t : targets) {
            if (t.serial == inv.serial) chosen = &t;
        }
    } else if (targets.size() > 1) {
        console.Err(kMoreThanOne);
        return std::nullopt;
    } else if (targets.size() == 1) {
        chosen = &targets[0];
    }
    std::string badPort;
    std::optional<HostPort> address;
    if (chosen) address = ParseHostPort(chosen->serial, badPort);
    if (!chosen || !address) {
        console.Err("error: target not found\n");
        return std::nullopt;
    }
    return Resolved{*chosen, *address};
}

// Connects and shakes hands with a recorded target; prints "error: target offline" otherwise.
bool Reach(DeviceLink& link, const Resolved& r, Console& console) {
    try {
        link.ConnectTcp(r.address.host, r.address.port);
        link.Handshake();
        return true;
    } catch (const std::exception& e) {
        console.Err("error: target offline\n");
        console.Err("error: cannot reach " + r.target.serial + ": " + e.what() + "\n");
        return false;
    }
}

// What went wrong in the middle of talking to the device, for one line on stderr.
std::string Reason(const std::exception& e) {
    if (dynamic_cast<const ProtocolError*>(&e)) return std::string("protocol fault: ") + e.what();
    if (dynamic_cast<const net::TimeoutError*>(&e)) {
        return std::string("the device stopped answering: ") + e.what();
    }
    return e.what();
}

std::string Describe(const std::exception& e) { return "error: " + Reason(e) + "\n"; }

// ---- commands ----

int KillServer(const Settings& settings, Console& console) {
    // No server ever runs; forgetting the targets is what stopping it would have meant.
    if (!settings.statePath.empty()) ForgetTargets(settings.statePath);
    console.Out("info: Server is not running\n");
    return 0;
}

int Connect(const Invocation& inv, const Settings& settings, Console& console) {
    std::string badPort;
    std::optional<HostPort> address = ParseHostPort(inv.target, badPort);
    if (!address) {
        console.Out("bad port format '" + badPort + "'\n");
        return 1;
    }
    const std::string failedRemote = "error: failed to connect to remote target '" + address->host + "'\n";
    uint32_t ignored;
    if (!net::ParseIPv4(address->host, ignored)) {
        console.Out(failedRemote);
        console.Err("error: '" + address->host + "' is not a numeric IPv4 address\n");
        return 1;
    }
    if (settings.statePath.empty()) {
        console.Err("error: no place to record targets (set LOCALAPPDATA or HOME)\n");
        return 1;
    }

    std::vector<Target> targets = LoadTargets(settings.statePath);
    auto known = std::find_if(targets.begin(), targets.end(),
                              [&](const Target& t) { return t.serial == address->serial; });
    const bool wasKnown = known != targets.end();
    auto forget = [&] {
        if (!wasKnown) return;
        targets.erase(known);
        try {
            SaveTargets(settings.statePath, targets);
        } catch (const std::exception&) {}
    };

    DeviceLink link(settings.timeouts);
    try {
        link.ConnectTcp(address->host, address->port);
    } catch (const std::exception& e) {
        console.Out(failedRemote);
        console.Err(std::string("error: ") + e.what() + "\n");
        forget();
        return 1;
    }
    if (!wasKnown) console.Out("connecting to " + address->serial + " ...\n");
    try {
        link.Handshake();
    } catch (const std::exception& e) {
        console.Out("failed to connect to " + address->serial + "\n");
        console.Err(Describe(e));
        forget();
        return 1;
    }

    Target target{address->serial, link.Locked() ? "locked" : "device", link.Banner().model};
    if (wasKnown) {
        *known = target;
    } else {
        targets.push_back(target);
    }
    try {
        SaveTargets(settings.statePath, targets);
    } catch (const std::exception& e) {
        console.Err(std::string("error: cannot record the target: ") + e.what() + "\n");
        return 1;
    }
    console.Out(wasKnown ? address->serial + " is already connected\n"
                         : "connected to " + address->serial + "\n");
    return 0;
}

int Devices(const Settings& settings, Console& console) {
    std::vector<Target> targets = LoadTargets(settings.statePath);
    console.Out(format::DevicesHeader());
    for (const Target& t : targets) {
        std::string state = "offline";
        std::string name = t.name;
        std::string badPort;
        if (auto address = ParseHostPort(t.serial, badPort)) {
            DeviceLink link(settings.timeouts);
            try {
                link.ConnectTcp(address->host, address->port);
                link.Handshake();
                state = link.Locked() ? "locked" : "device";
                if (!link.Banner().model.empty()) name = link.Banner().model;
            } catch (const std::exception&) {}
        }
        console.Out(
            format::DeviceLine(t.serial, state, name.empty() ? "<unknown>" : format::Printable(name)));
    }
    return 0;
}

int Shell(const Invocation& inv, const Settings& settings, Console& console) {
    const std::string service = BuildShellService(inv.words);
    std::optional<Resolved> target = ResolveTarget(inv, settings, console);
    if (!target) return 1;
    DeviceLink link(settings.timeouts);
    if (!Reach(link, *target, console)) return 1;
    try {
        // Asked first, as the SDK client does, but not waited for: nothing in it is needed for a
        // one-shot command, so both OPENs leave together and the answer is dropped.
        link.Ask("capability:");
        std::optional<Stream> stream = link.Open(service);
        if (!stream) {
            console.Err("closed\n");
            return 1;
        }
        std::vector<uint8_t> data;
        while (link.Read(*stream, data, settings.timeouts.shellIdleMs)) console.Raw(data);
        return 0;
    } catch (const std::exception& e) {
        console.Err(Describe(e));
        return 1;
    }
}

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

int Push(const Invocation& inv, const Settings& settings, Console& console) {
    std::optional<Resolved> target = ResolveTarget(inv, settings, console);
    if (!target) {
        console.Err(kNoSyncChannel);
        return kPushFatal;
    }
    DeviceLink link(settings.timeouts);
    if (!Reach(link, *target, console)) {
        console.Err(kNoSyncChannel);
        return kPushFatal;
    }
    const int idle = settings.timeouts.idleMs;
    std::optional<Stream> stream;
    try {
        stream = link.Open("sync:");
    } catch (const std::exception& e) {
        console.Err(Describe(e));
    }
    if (!stream) {
        console.Err(kNoSyncChannel);
        return kPushFatal;
    }
    console.Out(kPushWarning);

    std::string remote = inv.remote;
    bool progressShown = false;
    auto quit = [&] {
        try {
            std::vector<uint8_t> bytes;
            sync::AppendQuit(bytes);
            link.Write(*stream, bytes, idle);
            link.AwaitClose(*stream, 2000);
        } catch (const std::exception&) {}
    };
    auto fail = [&](const std::string& line) {
        if (progressShown) console.Out("\n");
        console.Err(line);
        return 1;
    };

    LocalFile info;
    if (!StatLocal(inv.local, info)) {
        const std::string reason = std::strerror(errno);
        quit();
        return fail("error: failed to get status of '" + inv.local + "': " + reason + "\n");
    }
    std::unique_ptr<FILE, FileCloser> file(info.regular ? OpenLocal(inv.local) : nullptr);
    if (!file) {
        const std::string reason = info.regular ? std::strerror(errno) : "not a regular file";
        quit();
        return fail("error: cannot read '" + inv.local + "': " + reason + "\n");
    }
    const std::string baseName = sync::BaseName(inv.local);

    // One attempt on one sync stream. SEND, the DATA chunks, and at the end DONE with QUIT fill
    // WRTEs of the device's full size. The push goes to `remote` as named, with no STAT ahead of
    // it: a STAT answer would be one more device write on the stream, a round trip of its own
    // when the file fits in one write. Should `remote` be a directory, the device refuses to
    // write a file over it; only then is the STAT asked, on a stream of its own, and the push
    // starts again with the local name appended.
    enum class Outcome { Pushed, Failed };
    struct Attempt {
        Outcome outcome = Outcome::Pushed;
        std::string reason;  // Failed: the device's FAIL text
        bool quitSent = false;
    };
    uint64_t done = 0;
    const auto start = Clock::now();
    auto lastProgress = start;
    auto attempt = [&] {
        Attempt result;
        sync::ReplyDecoder replies;
        // The device's next reply among those arrived.
        auto take = [&](sync::Reply& reply) { return replies.Next(reply); };
        auto arrived = [&] {
            replies.Feed(stream->pending);
            stream->pending.clear();
        };
        auto finish = [&](const sync::Reply& status) {
            if (status.id == sync::kFail) {
                result.outcome = Outcome::Failed;
                result.reason = status.text;
            } else if (status.id != sync::kOkay) {
                throw ProtocolError("expected OKAY or FAIL after DONE");
            }
            return result;
        };
        try {
            SyncWriter writer(link, *stream, idle);
            sync::AppendSend(writer.Buffer(), remote);
            std::vector<uint8_t> chunk(sync::kMaxData);
            for (;;) {
                size_t n = std::fread(chunk.data(), 1, chunk.size(), file.get());
                if (n == 0) {
                    if (std::ferror(file.get())) throw std::runtime_error("cannot read '" + inv.local + "'");
                    break;
                }
                sync::AppendDataHeader(writer.Buffer(), uint32_t(n));
                writer.Buffer().insert(writer.Buffer().end(), chunk.begin(),
                                       chunk.begin() + std::ptrdiff_t(n));
                writer.SendFull();
                done += n;
                // The device reports a failure (no space, cannot create) as soon as it happens.
                if (!stream->pending.empty()) {
                    arrived();
                    sync::Reply reply;
                    if (take(reply)) return finish(reply);
                }
                if (Clock::now() - lastProgress >= std::chrono::seconds(1)) {
                    lastProgress = Clock::now();
                    std::string line = "\r";
                    line +=
                        format::PushProgress(baseName, done, std::max(done, info.size), MicrosSince(start));
                    console.Out(line);
                    progressShown = true;
                }
            }
            sync::AppendDone(writer.Buffer(), info.mtime);
            sync::AppendQuit(writer.Buffer());
            result.quitSent = true;
            writer.SendAll();
            arrived();
            sync::Reply status;
            std::vector<uint8_t> data;
            while (!take(status)) {
                if (!link.Read(*stream, data, idle)) throw StreamClosed("the device closed the stream");
                replies.Feed(data);
            }
            return finish(status);
        } catch (const std::exception&) {
            // A device that refuses the transfer may close the stream right after saying why.
            try {
                arrived();
                sync::Reply reply;
                if (take(reply) && reply.id == sync::kFail) return finish(reply);
            } catch (const std::exception&) {}
            throw;
        }
    };

    // After a refusal: whether `remote` is a directory, asked with a STAT on a new sync stream.
    auto isDirectory = [&] {
        link.Close(*stream);
        stream = link.Open("sync:");
        if (!stream) throw StreamClosed("the device refused a new sync channel");
        std::vector<uint8_t> request;
        sync::AppendStat(request, remote);
        link.Write(*stream, request, idle);
        sync::ReplyDecoder replies;
        sync::Reply reply;
        replies.Feed(stream->pending);
        stream->pending.clear();
        std::vector<uint8_t> data;
        while (!replies.Next(reply)) {
            if (!link.Read(*stream, data, idle)) throw StreamClosed("the device closed the stream");
            replies.Feed(data);
        }
        if (reply.id != sync::kStat) throw ProtocolError("expected a STAT reply");
        return (reply.mode & sync::kModeTypeMask) == sync::kModeDirectory;
    };

    try {
        bool probed = false;  // a refusal has been checked with a STAT
        if (sync::EndsWithSeparator(remote)) {
            remote += baseName;
            probed = true;
        }
        for (;;) {
            if (remote.size() + 6 > sync::kMaxPathLength) {
                quit();
                return fail("error: remote path is too long: '" + remote + "'\n");
            }
            Attempt result = attempt();
            if (result.outcome == Outcome::Failed && !probed) {
                probed = true;
                bool directory = false;
                try {
                    directory = isDirectory();
                } catch (const std::exception&) {}  // the refusal's own reason is the one to give
                if (directory) {
                    // The refused SEND named the directory itself; the STAT's stream pushes under
                    // the local name inside it.
                    remote += "/" + baseName;
                    done = 0;
                    std::rewind(file.get());
                    continue;
                }
                if (stream) quit();
                return fail("error: failed to close '" + remote + "': " + format::Printable(result.reason) +
                            "\n");
            }
            if (result.outcome == Outcome::Failed) {
                if (result.quitSent) {
                    link.Close(*stream);
                } else {
                    quit();
                }
                return fail("error: failed to close '" + remote + "': " + format::Printable(result.reason) +
                            "\n");
            }
            // The device's OKAY means the file is complete; its CLSE after our QUIT is not awaited.
            const uint64_t elapsed = MicrosSince(start);
            link.Close(*stream);
            console.Out("\r" + format::PushProgress(baseName, done, done, elapsed) + "\n");
            console.Out("1 file(s) pushed. 0 file(s) skipped.\n");
            console.Out(format::PushSummary(inv.local, done, elapsed));
            return 0;
        }
    } catch (const std::exception& e) {
        return fail("error: failed to push '" + inv.local + "': " + Reason(e) + "\n");
    }
}

}  // namespace

int RunBridge(std::span<const std::string> args, Console& console, const Settings& settings) {
    ParsedArgs parsed = ParseArguments(args);
    if (!parsed.invocation) {
        console.Err("error: " + parsed.error + "\n\n" + format::UsageText());
        return 1;
    }
    const Invocation& inv = *parsed.invocation;
    switch (inv.kind) {
    case CommandKind::KillServer: return KillServer(settings, console);
    case CommandKind::Connect: return Connect(inv, settings, console);
    case CommandKind::Devices: return Devices(settings, console);
    case CommandKind::Shell: return Shell(inv, settings, console);
    case CommandKind::Push: return Push(inv, settings, console);
    case CommandKind::Version: console.Out(format::VersionText()); return 0;
    case CommandKind::Help: console.Out(format::UsageText()); return 0;
    }
    return 1;
}

}  // namespace kb
