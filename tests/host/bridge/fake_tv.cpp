#include "fake_tv.h"

#include <chrono>
#include <deque>

namespace kb::test {

namespace {

constexpr uint32_t kDeviceVersion = 0x02000000;
constexpr int kWaitMs = 10000;

std::string ServiceName(const std::vector<uint8_t>& payload) {
    std::string text(payload.begin(), payload.end());
    if (auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
    return text;
}

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

// Sync ids spelled out from their four ASCII letters, independently of the client's table.
constexpr uint32_t Id(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}
namespace sync_ids {
constexpr uint32_t kStat = Id("STAT"), kSend = Id("SEND"), kData = Id("DATA"), kDone = Id("DONE"),
                   kOkay = Id("OKAY"), kFail = Id("FAIL"), kQuit = Id("QUIT");
}  // namespace sync_ids

std::vector<uint8_t> FailReply(std::string_view why) {
    std::vector<uint8_t> f;
    wire::AppendLe32(f, sync_ids::kFail);
    wire::AppendLe32(f, uint32_t(why.size()));
    f.insert(f.end(), why.begin(), why.end());
    return f;
}

// One client connection: framing both ways, with the TV's own payload limit enforced.
class Conn {
public:
    Conn(net::Socket& socket, uint32_t maxPayload) : socket_(socket), decoder_(maxPayload) {}

    wire::Message Read(int ms = kWaitMs) {
        wire::Message m;
        const auto deadline = net::After(ms);
        while (!decoder_.Next(m)) {
            size_t n = socket_.Receive(buffer_, deadline);
            if (n == 0) throw net::NetError("client closed");
            decoder_.Feed(std::span(buffer_.data(), n));
        }
        return m;
    }
    void Send(uint32_t command, uint32_t arg0, uint32_t arg1, std::span<const uint8_t> payload = {}) {
        socket_.SendAll(wire::EncodeMessage(command, arg0, arg1, payload), net::After(kWaitMs));
    }
    void SendRaw(std::span<const uint8_t> bytes) { socket_.SendAll(bytes, net::After(kWaitMs)); }
    // Waits until the client goes away.
    void Drain() {
        try {
            for (;;) Read(30000);
        } catch (const std::exception&) {}
    }

private:
    net::Socket& socket_;
    wire::MessageDecoder decoder_;
    std::vector<uint8_t> buffer_ = std::vector<uint8_t>(64 * 1024);
};

}  // namespace

std::string DefaultShellAnswer(const std::string& command) {
    auto starts = [&](std::string_view prefix) { return command.rfind(prefix, 0) == 0; };
    std::string suffix = command.find("; echo cmd_ret:$?;") != std::string::npos ? "cmd_ret:0\n" : "";
    if (command == "0 getappinstallpath") return "/opt/usr/apps\n";
    if (starts("0 vd_appuninstall ")) {
        std::string id = command.substr(18, command.find(';') - 18);
        return "uninstall " + id + "\napp_id[" + id + "] uninstall failed[132]\n" +
               "spend time for wascmd is [72]ms\n" + suffix;
    }
    if (starts("0 vd_appinstall ")) {
        std::string rest = command.substr(16, command.find(';') - 16);
        std::string id = rest.substr(0, rest.find(' '));
        std::string path = rest.substr(rest.find(' ') + 1);
        return "install " + id + "\npackage_path " + path + "\nwas_install_app return WAS_TRUE\n" +
               "app_id[" + id + "] install start\napp_id[" + id + "] installing[8]\napp_id[" + id +
               "] installing[100]\napp_id[" + id + "] install completed\n" +
               "spend time for wascmd is [2520]ms\n" + suffix;
    }
    if (starts("0 mkdir ") || starts("0 rmfile")) return suffix;
    if (command == "0 applist") {
        return "\tApplication List for user 5001\n\tUser's Application \n\t Name \t AppID \n"
               "\t=================================================\n"
               "\t'KAVORIN'\t 'Qw7TzLp2Xe.KAVORIN'\n"
               "\t=================================================\n";
    }
    return "/bin/sh: " + command.substr(0, command.find(' ')) + ": command not found\n" + suffix;
}

FakeTv::FakeTv(FakeTvOptions options)
    : options_(std::move(options)), listener_(0), shellHandler_(DefaultShellAnswer) {
    port_ = listener_.Port();
    thread_ = std::thread([this] { Serve(); });
}

FakeTv::~FakeTv() {
    stop_ = true;
    thread_.join();
}

void FakeTv::SetShellHandler(std::function<std::string(const std::string&)> handler) {
    std::lock_guard lock(mutex_);
    shellHandler_ = std::move(handler);
}

void FakeTv::AddDirectory(const std::string& path) {
    std::lock_guard lock(mutex_);
    directories_.push_back(path);
}

FakeTv::Record FakeTv::Snapshot() const {
    std::lock_guard lock(mutex_);
    return record_;
}

void FakeTv::Serve() {
    while (!stop_) {
        net::Socket socket;
        try {
            socket = listener_.Accept(100);
        } catch (const net::TimeoutError&) {
            continue;
        } catch (const std::exception&) {
            return;
        }
        {
            std::lock_guard lock(mutex_);
            ++record_.connections;
        }
        if (options_.fault == Fault::CloseOnAccept) continue;
        try {
            Session(socket);
        } catch (const ProtocolError& e) {
            std::lock_guard lock(mutex_);
            record_.violations.push_back(e.what());
        } catch (const std::exception&) {
            // The client went away; that ends a session.
        }
    }
}

void FakeTv::Session(net::Socket& socket) {
    Conn conn(socket, options_.maxPayload);
    const Fault fault = options_.fault;

    wire::Message m = conn.Read();
    while (m.command != wire::kCnxn) m = conn.Read();
    {
        std::lock_guard lock(mutex_);
        record_.hostBanners.emplace_back(m.payload.begin(), m.payload.end());
        if (m.arg0 != wire::kHostVersion || m.arg1 != wire::kHostMaxPayload) {
            record_.violations.push_back("unexpected CNXN version or max payload");
        }
    }
    if (fault == Fault::SilentAfterAccept) return conn.Drain();
    std::string banner = "device::" + options_.model + "::" + (options_.locked ? "1" : "0");
    banner.push_back('\0');
    std::vector<uint8_t> cnxn = wire::EncodeMessage(wire::kCnxn, kDeviceVersion, options_.maxPayload, banner);
    if (fault == Fault::BadMagic) cnxn[20] ^= 0x55;
    conn.SendRaw(cnxn);
    if (fault == Fault::BadMagic) return conn.Drain();

    auto noise = [&] {
        if (fault != Fault::NoiseBeforeReplies) return;
        conn.Send(wire::kStat, 0, 0);
        conn.Send(0x21212121, 7, 7, Bytes("what is this"));
        conn.Send(wire::kOkay, 999, 999);
    };

    // Our CLSE for a stream; the daemon's carries local id 0.
    auto close = [&](uint32_t local, uint32_t remote) {
        conn.Send(wire::kClse, options_.daemonClose ? 0 : local, remote);
    };
    // The client closed a stream we still had open: the daemon echoes it.
    auto closedByClient = [&](uint32_t remote) {
        if (options_.daemonClose) conn.Send(wire::kClse, 0, remote);
    };

    // OPENs that arrived while another stream was busy; served next, in order.
    std::deque<wire::Message> opens;
    // Capability answers sent and not yet acknowledged: the rest (if split) and then our CLSE
    // follow the client's OKAY, while other streams are served meanwhile, as the TV's daemon runs
    // each service on its own.
    struct Answer {
        uint32_t remote;
        std::vector<uint8_t> rest;
    };
    std::map<uint32_t, Answer> answered;  // our id -> the client's id, what is left to send
    auto other = [&](wire::Message& r) {
        if (r.command == wire::kOpen) opens.push_back(std::move(r));
        auto it = answered.find(r.arg1);
        if (it == answered.end()) return;
        if (r.command == wire::kOkay && !it->second.rest.empty()) {
            conn.Send(wire::kWrte, it->first, it->second.remote, it->second.rest);
            it->second.rest.clear();
            return;
        }
        if (r.command == wire::kOkay) close(it->first, it->second.remote);
        if (r.command == wire::kClse) closedByClient(it->second.remote);
        if (r.command == wire::kOkay || r.command == wire::kClse) answered.erase(it);
    };
    // Sends `bytes` as WRTEs no larger than our limit, each after the client's OKAY for the last.
    // Client data arriving meanwhile is acknowledged and kept in `inbound`. False when the client
    // closed the stream instead.
    auto sendData = [&](uint32_t local, uint32_t remote, std::span<const uint8_t> bytes,
                        std::vector<uint8_t>* inbound) {
        while (!bytes.empty()) {
            size_t n = std::min<size_t>(bytes.size(), options_.maxPayload);
            noise();
            conn.Send(wire::kWrte, local, remote, bytes.first(n));
            bytes = bytes.subspan(n);
            for (;;) {
                wire::Message r = conn.Read();
                if (r.command == wire::kOkay && r.arg1 == local) break;
                if (r.command == wire::kWrte && r.arg1 == local) {
                    if (inbound) inbound->insert(inbound->end(), r.payload.begin(), r.payload.end());
                    conn.Send(wire::kOkay, local, remote);
                }
                if (r.command == wire::kClse && r.arg1 == local) {
                    closedByClient(remote);
                    return false;
                }
                if (r.arg1 != local) other(r);
            }
        }
        return true;
    };

    uint32_t nextId = 100;
    for (;;) {
        if (opens.empty()) {
            m = conn.Read(30000);
        } else {
            m = std::move(opens.front());
            opens.pop_front();
        }
        if (m.command != wire::kOpen) {
            other(m);
            continue;
        }
        const std::string service = ServiceName(m.payload);
        const uint32_t remote = m.arg0;
        const uint32_t local = nextId++;
        {
            std::lock_guard lock(mutex_);
            record_.services.push_back(service);
        }
        noise();
        if (service == "capability:") {
            conn.Send(wire::kOkay, local, remote);
            std::string text = "secure_protocol:enabled\nfilesync_support:push\nsdbd_version:2.2.31\n";
            text.push_back('\0');
            std::vector<uint8_t> reply{uint8_t(text.size() & 0xff), uint8_t(text.size() >> 8)};
            std::vector<uint8_t> rest(text.begin(), text.end());
            if (!options_.splitCapability) {
                reply.insert(reply.end(), rest.begin(), rest.end());
                rest.clear();
            }
            conn.Send(wire::kWrte, local, remote, reply);
            answered[local] = Answer{remote, std::move(rest)};
        } else if (service.rfind("shell:", 0) == 0 && service.size() > 6) {
            if (fault == Fault::RefuseShell) {
                conn.Send(wire::kClse, 0, remote);
                continue;
            }
            conn.Send(wire::kOkay, local, remote);
            std::string output;
            {
                std::lock_guard lock(mutex_);
                output = shellHandler_(service.substr(6));
            }
            if (options_.crlf) {
                std::string converted;
                for (char c : output) {
                    if (c == '\n') converted += '\r';
                    converted += c;
                }
                output = converted;
            }
            if (fault == Fault::StallShell) {
                sendData(local, remote, Bytes("install start\n"), nullptr);
                return conn.Drain();
            }
            if (fault == Fault::BadChecksum) {
                std::vector<uint8_t> bad = wire::EncodeMessage(wire::kWrte, local, remote, output);
                bad[16] ^= 1;
                conn.SendRaw(bad);
                return conn.Drain();
            }
            if (fault == Fault::OversizeMessage) {
                std::vector<uint8_t> header = wire::EncodeMessage(wire::kWrte, local, remote);
                header[14] = 0x00;
                header[15] = 0x01;  // claims 16 MiB
                conn.SendRaw(header);
                return conn.Drain();
            }
            if (!sendData(local, remote, Bytes(output), nullptr)) throw net::NetError("client closed stream");
            close(local, remote);
        } else if (service == "sync:") {
            conn.Send(wire::kOkay, local, remote);
            std::vector<uint8_t> in;
            std::string path;
            PushedFile file;
            bool failed = false;
            // The client may close the stream while a reply waits for its OKAY; the session goes on.
            bool quit = false;
            auto reply = [&](std::vector<uint8_t> bytes) {
                if (!quit && !sendData(local, remote, bytes, &in)) quit = true;
            };
            while (!quit) {
                wire::Message w = conn.Read();
                if (w.command == wire::kClse && w.arg1 == local) {
                    closedByClient(remote);
                    break;
                }
                if (w.command != wire::kWrte || w.arg1 != local) continue;
                {
                    std::lock_guard lock(mutex_);
                    record_.largestWrite = std::max(record_.largestWrite, uint32_t(w.payload.size()));
                    ++record_.syncWrites;
                    record_.syncBytes += w.payload.size();
                }
                in.insert(in.end(), w.payload.begin(), w.payload.end());
                conn.Send(wire::kOkay, local, remote);
                size_t used = 0;
                while (!quit && in.size() - used >= 8) {
                    const uint8_t* p = in.data() + used;
                    const uint32_t id = wire::ReadLe32(p);
                    const uint32_t len = wire::ReadLe32(p + 4);
                    const bool hasBody =
                        id == sync_ids::kStat || id == sync_ids::kSend || id == sync_ids::kData;
                    if (hasBody && len > 65536) throw ProtocolError("sync message of " + std::to_string(len));
                    if (hasBody && in.size() - used < 8 + size_t(len)) break;
                    std::string body = hasBody ? std::string(p + 8, p + 8 + len) : std::string();
                    used += 8 + (hasBody ? len : 0);
                    if (id == sync_ids::kStat) {
                        bool dir = false;
                        {
                            std::lock_guard lock(mutex_);
                            for (const auto& d : directories_) dir = dir || d == body;
                        }
                        std::vector<uint8_t> st;
                        wire::AppendLe32(st, sync_ids::kStat);
                        wire::AppendLe32(st, dir ? 040755 : 0);
                        wire::AppendLe32(st, 0);
                        wire::AppendLe32(st, 0);
                        reply(st);
                    } else if (id == sync_ids::kSend) {
                        path = body.substr(0, body.rfind(','));
                        file = PushedFile{};
                        file.mode = body.substr(body.rfind(',') + 1);
                        bool dir = false;
                        {
                            std::lock_guard lock(mutex_);
                            for (const auto& d : directories_) dir = dir || d == path;
                        }
                        if (dir) {
                            // As the TV's daemon: no file over a directory, and the sync session ends.
                            reply(FailReply("Is a directory"));
                            if (!quit) close(local, remote);
                            quit = true;
                        }
                    } else if (id == sync_ids::kData) {
                        file.size += len;
                        if (options_.keepPushedData)
                            file.data.insert(file.data.end(), body.begin(), body.end());
                        if (fault == Fault::ResetMidPush) {
                            socket.Close();
                            return;
                        }
                        if (fault == Fault::FailPushAtDone) failed = true;  // told at DONE
                        if ((fault == Fault::FailPush || fault == Fault::FailPushAndClose) && !failed) {
                            failed = true;
                            reply(FailReply("No space left on device"));
                            if (fault == Fault::FailPushAndClose) {
                                close(local, remote);
                                quit = true;
                            }
                        }
                    } else if (id == sync_ids::kDone) {
                        file.mtime = len;
                        if (fault == Fault::FailPushAtDone) {
                            reply(FailReply("No space left on device"));
                            if (!quit) close(local, remote);
                            quit = true;
                        } else if (!failed) {
                            {
                                std::lock_guard lock(mutex_);
                                record_.files[path] = file;
                            }
                            std::vector<uint8_t> ok;
                            wire::AppendLe32(ok, sync_ids::kOkay);
                            wire::AppendLe32(ok, 0);
                            reply(ok);
                        }
                    } else if (id == sync_ids::kQuit) {
                        close(local, remote);
                        quit = true;
                    } else {
                        throw ProtocolError("unknown sync request " + wire::CommandName(id));
                    }
                }
                in.erase(in.begin(), in.begin() + std::ptrdiff_t(used));
            }
        } else {
            conn.Send(wire::kClse, 0, remote);
        }
    }
}

}  // namespace kb::test
