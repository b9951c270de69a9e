// A scripted TV on 127.0.0.1 for in-process tests and the benchmark: handshake, capability,
// shell with canned answers, sync push into memory, and a set of deliberate faults.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net.h"
#include "wire.h"

namespace kb::test {

enum class Fault {
    None,
    CloseOnAccept,       // the peer-address check refuses us
    SilentAfterAccept,   // never answers our CNXN
    BadMagic,            // CNXN answer with a broken magic
    BadChecksum,         // shell output with a wrong data_check
    OversizeMessage,     // shell output header claiming 16 MiB
    NoiseBeforeReplies,  // STAT and unknown commands before every answer
    RefuseShell,         // CLSE instead of OKAY for shell:
    StallShell,          // shell sends a line, then nothing
    ResetMidPush,        // connection closed after the first sync data
    FailPush,            // FAIL "No space left on device" after the first DATA
    FailPushAndClose,    // the same, then CLSE at once
    FailPushAtDone,      // as the TV's daemon: every DATA taken, then at DONE that FAIL and a
                         // CLSE, with no answer to DONE
};

struct FakeTvOptions {
    std::string model = "UE43TEST7400";
    uint32_t maxPayload = 4096;
    bool locked = false;
    bool crlf = false;
    // As the TV's daemon: every CLSE we send has local id 0, the client's CLSE for a stream still
    // open is echoed, and one for a stream already closed is ignored.
    bool daemonClose = false;
    // The capability answer in two WRTEs (its 2-byte length, then the body), the second once the
    // client acknowledged the first.
    bool splitCapability = false;
    Fault fault = Fault::None;
    bool keepPushedData = true;  // the benchmark only counts bytes
};

class FakeTv {
public:
    explicit FakeTv(FakeTvOptions options = {});
    ~FakeTv();
    FakeTv(const FakeTv&) = delete;
    FakeTv& operator=(const FakeTv&) = delete;

    uint16_t Port() const { return port_; }
    std::string Serial() const { return "127.0.0.1:" + std::to_string(port_); }

    // Canned answer for a shell command (the text after "shell:"); the default knows the TV's
    // "0 ..." commands of an installation.
    void SetShellHandler(std::function<std::string(const std::string&)> handler);
    // Paths that STAT reports as directories.
    void AddDirectory(const std::string& path);

    struct PushedFile {
        std::string mode;
        uint32_t mtime = 0;
        uint64_t size = 0;
        std::vector<uint8_t> data;
    };
    struct Record {
        int connections = 0;
        std::vector<std::string> hostBanners;
        std::vector<std::string> services;
        std::map<std::string, PushedFile> files;
        uint32_t largestWrite = 0;            // largest WRTE payload the client sent
        int syncWrites = 0;                   // WRTEs the client sent on sync streams
        uint64_t syncBytes = 0;               // and their payload bytes
        std::vector<std::string> violations;  // protocol faults the TV saw from the client
    };
    Record Snapshot() const;

private:
    void Serve();
    void Session(net::Socket& socket);

    FakeTvOptions options_;
    net::Listener listener_;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    Record record_;
    std::vector<std::string> directories_;
    std::function<std::string(const std::string&)> shellHandler_;
    std::thread thread_;
};

// Output of a TV for the installation's commands, as recorded from real sets.
std::string DefaultShellAnswer(const std::string& command);

}  // namespace kb::test
