// The client's commands run in-process against a scripted TV on loopback: the installer's whole
// sequence, then broken addresses, broken devices and broken transfers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include <sys/stat.h>

#include "commands.h"
#include "fake_tv.h"
#include "state.h"

namespace kb {
namespace {

namespace fs = std::filesystem;
using test::FakeTv;
using test::FakeTvOptions;
using test::Fault;

// Winsock needs starting once per process; a no-op elsewhere.
const net::NetSession netSession;

struct Result {
    int code;
    std::string out, err;
};

class Commands : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("kb-cmd-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        settings_.statePath = dir_ / "state" / "targets";
        settings_.timeouts = Timeouts{2000, 2000, 3000, 3000, 3000};
    }
    void TearDown() override { fs::remove_all(dir_); }

    Result Run(const std::string& line) {
        std::istringstream in(line);
        std::vector<std::string> args;
        for (std::string w; in >> w;) args.push_back(w);
        BufferConsole console;
        int code = RunBridge(args, console, settings_);
        return {code, console.out, console.err};
    }
    std::string WriteLocal(const std::string& name, const std::string& bytes) {
        fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }
    void Connect(const FakeTv& tv) {
        Result r = Run("connect " + tv.Serial());
        ASSERT_EQ(r.code, 0) << r.out << r.err;
    }

    fs::path dir_;
    Settings settings_;
};

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s) c = char(gen());
    return s;
}

TEST_F(Commands, TheInstallationSequenceReadsAsWithTheSdkClient) {
    // Once with the scripted TV's plain forms, once as the TV's daemon sends them: every CLSE with
    // local id 0 and ours echoed, the capability answer in two writes.
    for (bool daemon : {false, true}) {
        SCOPED_TRACE(daemon ? "daemon forms" : "plain forms");
        FakeTvOptions options;
        options.daemonClose = options.splitCapability = daemon;
        FakeTv tv(options);
        const std::string serial = tv.Serial();
        const std::string dir = "/opt/usr/apps/tmp";
        const std::string package = RandomBytes(14990, 1);
        const std::string local = WriteLocal("KAVORIN.wgt", package);

        Result r = Run("kill-server");
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out, "info: Server is not running\n");

        r = Run("connect " + serial);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, "connecting to " + serial + " ...\nconnected to " + serial + "\n");

        r = Run("devices");
        EXPECT_EQ(r.code, 0);
        char line[128];
        std::snprintf(line, sizeof line, "%-20s\tdevice    \tUE43TEST7400\n", serial.c_str());
        EXPECT_EQ(r.out, std::string("List of devices attached \n") + line);

        r = Run("shell 0 getappinstallpath");
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out, "/opt/usr/apps\n");

        r = Run("shell 0 vd_appuninstall Qw7TzLp2Xe.KAVORIN; echo cmd_ret:$?;");
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out,
                  "uninstall Qw7TzLp2Xe.KAVORIN\napp_id[Qw7TzLp2Xe.KAVORIN] uninstall failed[132]\n"
                  "spend time for wascmd is [72]ms\ncmd_ret:0\n");

        r = Run("shell 0 mkdir " + dir);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out, "");

        r = Run("push " + local + " " + dir + "/KAVORIN.wgt");
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err, "");
        {
            // WARNING line, one progress line (the transfer takes well under a second), the count line
            // and the summary line; the speeds vary, so they are cut out before comparing.
            std::vector<std::string> lines;
            std::istringstream in(r.out);
            for (std::string l; std::getline(in, l);) lines.push_back(l);
            ASSERT_EQ(lines.size(), 4u) << r.out;
            EXPECT_EQ(lines[0],
                      "WARNING: Your data are to be sent over an unencrypted connection and could be read "
                      "by others.");
            EXPECT_EQ(lines[1].substr(0, lines[1].rfind('\t')),
                      "\rpushed                    KAVORIN.wgt\t100%\t     14KB");
            EXPECT_TRUE(lines[1].ends_with("KB/s"));
            EXPECT_EQ(lines[2], "1 file(s) pushed. 0 file(s) skipped.");
            const std::string head = local.size() >= 30 ? local : local + std::string(30 - local.size(), ' ');
            EXPECT_TRUE(lines[3].starts_with(head + "   ")) << lines[3];
            EXPECT_NE(lines[3].find("KB/s (14990 bytes in 0."), std::string::npos) << lines[3];
            EXPECT_TRUE(lines[3].ends_with("s)"));
        }

        r = Run("shell 0 vd_appinstall Qw7TzLp2Xe.KAVORIN " + dir + "/KAVORIN.wgt; echo cmd_ret:$?;");
        EXPECT_EQ(r.code, 0);
        EXPECT_NE(r.out.find("app_id[Qw7TzLp2Xe.KAVORIN] install completed\n"), std::string::npos);
        EXPECT_TRUE(r.out.ends_with("cmd_ret:0\n"));

        EXPECT_EQ(Run("shell 0 rmfile " + dir + "/KAVORIN.wgt").code, 0);
        r = Run("shell 0 applist");
        EXPECT_NE(r.out.find("'Qw7TzLp2Xe.KAVORIN'"), std::string::npos);
        r = Run("kill-server");
        EXPECT_EQ(r.out, "info: Server is not running\n");
        EXPECT_FALSE(fs::exists(settings_.statePath));

        FakeTv::Record rec = tv.Snapshot();
        ASSERT_EQ(rec.files.count(dir + "/KAVORIN.wgt"), 1u);
        const FakeTv::PushedFile& f = rec.files[dir + "/KAVORIN.wgt"];
        EXPECT_EQ(std::string(f.data.begin(), f.data.end()), package);
        EXPECT_EQ(f.mode, "33261");
        struct stat st;
        ASSERT_EQ(::stat(local.c_str(), &st), 0);
        EXPECT_EQ(f.mtime, uint32_t(st.st_mtime));
        const std::vector<std::string> shells = {
            "shell:0 getappinstallpath",
            "shell:0 vd_appuninstall Qw7TzLp2Xe.KAVORIN; echo cmd_ret:$?;",
            "shell:0 mkdir " + dir,
            "shell:0 vd_appinstall Qw7TzLp2Xe.KAVORIN " + dir + "/KAVORIN.wgt; echo cmd_ret:$?;",
            "shell:0 rmfile " + dir + "/KAVORIN.wgt",
            "shell:0 applist"};
        std::vector<std::string> opened;
        for (const std::string& s : rec.services) {
            if (s != "capability:") opened.push_back(s);
        }
        std::vector<std::string> want = {
            shells[0], shells[1], shells[2], "sync:", shells[3], shells[4], shells[5]};
        EXPECT_EQ(opened, want);
        for (const std::string& b : rec.hostBanners) EXPECT_EQ(b, std::string("host::\0", 7));
        EXPECT_TRUE(rec.violations.empty()) << rec.violations.front();
    }
}

TEST_F(Commands, ConnectReportsEachKindOfFailureAndRecordsNothing) {
    uint16_t closedPort;
    {
        net::Listener gone;
        closedPort = gone.Port();
    }
    const std::string refused = "127.0.0.1:" + std::to_string(closedPort);
    Result r = Run("connect " + refused);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "error: failed to connect to remote target '127.0.0.1'\n");

    for (const char* name : {"tv.local", "999.999.999.999", "1234567", "localhost:26101"}) {
        r = Run(std::string("connect ") + name);
        EXPECT_EQ(r.code, 1) << name;
        std::string host(name);
        host = host.substr(0, host.find(':'));
        EXPECT_EQ(r.out, "error: failed to connect to remote target '" + host + "'\n");
        EXPECT_NE(r.err.find("not a numeric IPv4 address"), std::string::npos);
    }
    r = Run("connect 127.0.0.1:99999");
    EXPECT_EQ(r.out, "bad port format '99999'\n");
    EXPECT_EQ(r.code, 1);

    for (Fault fault : {Fault::CloseOnAccept, Fault::SilentAfterAccept, Fault::BadMagic}) {
        FakeTvOptions options;
        options.fault = fault;
        FakeTv tv(options);
        r = Run("connect " + tv.Serial());
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.out, "connecting to " + tv.Serial() + " ...\nfailed to connect to " + tv.Serial() + "\n");
        if (fault == Fault::BadMagic) {
            EXPECT_NE(r.err.find("bad magic"), std::string::npos) << r.err;
        }
    }
    EXPECT_TRUE(LoadTargets(settings_.statePath).empty());
    EXPECT_EQ(Run("devices").out, "List of devices attached \n");
}

TEST_F(Commands, WithoutOneClearTargetNothingIsSent) {
    Result r = Run("shell 0 applist");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "error: target not found\n");
    EXPECT_EQ(r.out, "");
    r = Run("push " + WriteLocal("a.wgt", "x") + " /tmp/a.wgt");
    EXPECT_EQ(r.code, 255);
    EXPECT_EQ(r.err, "error: target not found\nfatal: failed to open sync channel: connection fails\n");

    FakeTv first, second;
    Connect(first);
    Connect(second);
    r = Run("shell 0 applist");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "error: more than one target found. Specify the target with -s option.\n");
    r = Run("-s " + second.Serial() + " shell 0 getappinstallpath");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(second.Snapshot().services.back(), "shell:0 getappinstallpath");
    EXPECT_EQ(Run("connect " + first.Serial()).out, first.Serial() + " is already connected\n");
}

TEST_F(Commands, DevicesShowsLockedAndUnreachableTargets) {
    FakeTvOptions locked;
    locked.locked = true;
    locked.model = "unknown";
    auto gone = std::make_unique<FakeTv>();
    FakeTv tv(locked);
    Connect(*gone);
    Connect(tv);
    const std::string goneSerial = gone->Serial();
    gone.reset();
    Result r = Run("devices");
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find(goneSerial), std::string::npos);
    EXPECT_NE(r.out.find("\toffline   \tUE43TEST7400\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\tlocked    \t<unknown>\n"), std::string::npos) << r.out;
    r = Run("-s " + goneSerial + " shell 0 applist");
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.starts_with("error: target offline\n")) << r.err;
}

TEST_F(Commands, ShellPassesDeviceBytesThroughUnchanged) {
    FakeTvOptions options;
    options.crlf = true;
    FakeTv tv(options);
    std::string binary = "line\r\n";
    for (int i = 0; i < 256; ++i) binary.push_back(char(i));
    binary += std::string(10000, 'z');  // several WRTEs
    tv.SetShellHandler([&](const std::string&) { return binary; });
    Connect(tv);
    Result r = Run("shell 0 applist");
    EXPECT_EQ(r.code, 0);
    std::string expected;
    for (char c : binary) {
        if (c == '\n') expected += '\r';  // the fake TV's own CRLF conversion
        expected += c;
    }
    EXPECT_EQ(r.out, expected);
}

TEST_F(Commands, BrokenDevicesGiveAnErrorNotACrashOrAHang) {
    struct Case {
        Fault fault;
        int code;
        const char* err;
    };
    for (const Case& c :
         {Case{Fault::BadChecksum, 1, "checksum"}, Case{Fault::OversizeMessage, 1, "exceeds"},
          Case{Fault::RefuseShell, 1, "closed\n"}, Case{Fault::StallShell, 1, "stopped answering"},
          Case{Fault::NoiseBeforeReplies, 0, ""}}) {
        FakeTvOptions options;
        options.fault = c.fault;
        FakeTv tv(options);
        ASSERT_EQ(Run("kill-server").code, 0);
        Connect(tv);
        const auto start = std::chrono::steady_clock::now();
        Result r = Run("shell 0 getappinstallpath");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
        EXPECT_EQ(r.code, c.code) << int(c.fault) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << int(c.fault) << ": " << r.err;
        if (c.fault == Fault::NoiseBeforeReplies) {
            EXPECT_EQ(r.out, "/opt/usr/apps\n");
        }
        if (c.fault == Fault::StallShell) {
            EXPECT_EQ(r.out, "install start\n");
        }
    }
}

TEST_F(Commands, PushRespectsTheDevicePayloadLimitAndKeepsEveryByte) {
    const std::string data = RandomBytes(700 * 1024 + 13, 7);
    const std::string local = WriteLocal("big.wgt", data);
    for (uint32_t limit : {4096u, 262144u}) {
        FakeTvOptions options;
        options.maxPayload = limit;
        FakeTv tv(options);
        ASSERT_EQ(Run("kill-server").code, 0);
        Connect(tv);
        Result r = Run("push " + local + " /opt/usr/apps/tmp/big.wgt");
        EXPECT_EQ(r.code, 0) << r.err;
        FakeTv::Record rec = tv.Snapshot();
        EXPECT_TRUE(rec.violations.empty()) << rec.violations.front();
        EXPECT_EQ(rec.largestWrite, limit);  // full-size writes, never larger
        // Each write waits a round trip: all but the last are full, STAT and QUIT ride along.
        EXPECT_EQ(uint64_t(rec.syncWrites), (rec.syncBytes + limit - 1) / limit);
        const auto& f = rec.files["/opt/usr/apps/tmp/big.wgt"];
        EXPECT_TRUE(std::string(f.data.begin(), f.data.end()) == data);
    }
    FakeTv tv;
    ASSERT_EQ(Run("kill-server").code, 0);
    Connect(tv);
    ASSERT_EQ(Run("push " + WriteLocal("small.wgt", "zip") + " /opt/usr/apps/tmp/small.wgt").code, 0);
    EXPECT_EQ(tv.Snapshot().syncWrites, 1);
}

TEST_F(Commands, PushIntoADirectoryUsesTheLocalName) {
    FakeTv tv;
    tv.AddDirectory("/opt/usr/apps/tmp");
    Connect(tv);
    const std::string local = WriteLocal("KAVORIN.wgt", "zip");
    EXPECT_EQ(Run("push " + local + " /opt/usr/apps/tmp").code, 0);
    EXPECT_EQ(Run("push " + local + " /home/owner/share/").code, 0);
    // Found to be a directory only after many writes went out: all of it again, under its name.
    const std::string data = RandomBytes(300000, 5);
    const std::string big = WriteLocal("big.wgt", data);
    Result r = Run("push " + big + " /opt/usr/apps/tmp");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("(300000 bytes in "), std::string::npos) << r.out;
    FakeTv::Record rec = tv.Snapshot();
    EXPECT_EQ(rec.files.count("/opt/usr/apps/tmp/KAVORIN.wgt"), 1u);
    EXPECT_EQ(rec.files.count("/home/owner/share/KAVORIN.wgt"), 1u);
    const auto& f = rec.files["/opt/usr/apps/tmp/big.wgt"];
    EXPECT_TRUE(std::string(f.data.begin(), f.data.end()) == data);
    EXPECT_EQ(rec.files.size(), 3u);
    EXPECT_TRUE(rec.violations.empty()) << rec.violations.front();
}

TEST_F(Commands, FailedPushesSayWhyAndDoNotClaimSuccess) {
    const std::string local = WriteLocal("KAVORIN.wgt", RandomBytes(200000, 3));
    for (Fault fault :
         {Fault::FailPush, Fault::FailPushAndClose, Fault::FailPushAtDone, Fault::ResetMidPush}) {
        FakeTvOptions options;
        options.fault = fault;
        options.daemonClose = fault == Fault::FailPushAtDone;
        FakeTv tv(options);
        ASSERT_EQ(Run("kill-server").code, 0);
        Connect(tv);
        Result r = Run("push " + local + " /opt/usr/apps/tmp/KAVORIN.wgt");
        EXPECT_EQ(r.code, 1) << int(fault);
        EXPECT_EQ(r.out.find("file(s) pushed"), std::string::npos) << r.out;
        if (fault == Fault::ResetMidPush) {
            EXPECT_TRUE(r.err.starts_with("error: failed to push '" + local + "': ")) << r.err;
        } else {
            EXPECT_EQ(r.err,
                      "error: failed to close '/opt/usr/apps/tmp/KAVORIN.wgt': No space left on "
                      "device\n");
        }
        EXPECT_EQ(tv.Snapshot().files.size(), 0u);
    }

    FakeTv tv;
    ASSERT_EQ(Run("kill-server").code, 0);
    Connect(tv);
    Result r = Run("push " + (dir_ / "missing.wgt").string() + " /opt/usr/apps/tmp/KAVORIN.wgt");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "error: failed to get status of '" + (dir_ / "missing.wgt").string() +
                         "': No such file or directory\n");
    r = Run("push " + dir_.string() + " /opt/usr/apps/tmp/KAVORIN.wgt");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("not a regular file"), std::string::npos);
    EXPECT_EQ(tv.Snapshot().files.size(), 0u);
}

TEST_F(Commands, UsageErrorsExitOne) {
    Result r = Run("frobnicate");
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.starts_with("error: unknown command 'frobnicate'\n")) << r.err;
    EXPECT_EQ(Run("").code, 1);
    EXPECT_EQ(Run("help").code, 0);
    EXPECT_EQ(Run("version").code, 0);
}

}  // namespace
}  // namespace kb
