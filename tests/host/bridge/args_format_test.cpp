// Command lines of an installation as the client receives them, the service strings built from
// them, and the printed lines that end up in the installer's logs.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "args.h"
#include "format.h"

namespace kb {
namespace {

// What the C runtime hands over for a line without quotes: words split at blanks.
std::vector<std::string> Split(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

ParsedArgs Parse(const std::string& line) {
    std::vector<std::string> words = Split(line);
    return ParseArguments(words);
}

TEST(Args, EveryInstallerLineIsAccepted) {
    const std::string staging[] = {"/opt/usr/apps/tmp", "/home/owner/share/tmp/sdk_tools/tmp"};
    for (const std::string& dir : staging) {
        const std::string lines[] = {
            "kill-server",
            "connect 192.168.1.66:26101",
            "devices",
            "shell 0 getappinstallpath",
            "shell 0 vd_appuninstall Qw7TzLp2Xe.KAVORIN; echo cmd_ret:$?; ",
            "shell 0 mkdir " + dir,
            "push KAVORIN.wgt " + dir + "/KAVORIN.wgt",
            "shell 0 vd_appinstall Qw7TzLp2Xe.KAVORIN " + dir + "/KAVORIN.wgt; echo cmd_ret:$?; ",
            "shell 0 rmfile " + dir + "/KAVORIN.wgt",
            "shell 0 applist",
        };
        for (const std::string& line : lines) {
            EXPECT_TRUE(Parse(line).invocation.has_value()) << line << ": " << Parse(line).error;
        }
    }
    ParsedArgs push = Parse("push KAVORIN.wgt /opt/usr/apps/tmp/KAVORIN.wgt");
    EXPECT_EQ(push.invocation->kind, CommandKind::Push);
    EXPECT_EQ(push.invocation->local, "KAVORIN.wgt");
    EXPECT_EQ(push.invocation->remote, "/opt/usr/apps/tmp/KAVORIN.wgt");
    EXPECT_EQ(Parse("connect 10.0.0.7").invocation->target, "10.0.0.7");
}

TEST(Args, ShellServicesAreExactlyWhatTheTvExpects) {
    auto service = [](const std::string& line) {
        std::vector<std::string> words = Split(line);
        return BuildShellService(std::span(words).subspan(1));
    };
    EXPECT_EQ(service("shell 0 getappinstallpath"), "shell:0 getappinstallpath");
    EXPECT_EQ(service("shell 0 vd_appuninstall Qw7TzLp2Xe.KAVORIN; echo cmd_ret:$?; "),
              "shell:0 vd_appuninstall Qw7TzLp2Xe.KAVORIN; echo cmd_ret:$?;");
    EXPECT_EQ(service("shell 0 mkdir /home/owner/share/tmp/sdk_tools/tmp"),
              "shell:0 mkdir /home/owner/share/tmp/sdk_tools/tmp");
    EXPECT_EQ(service("shell 0 vd_appinstall Qw7TzLp2Xe.KAVORIN /opt/usr/apps/tmp/KAVORIN.wgt; echo "
                      "cmd_ret:$?;"),
              "shell:0 vd_appinstall Qw7TzLp2Xe.KAVORIN /opt/usr/apps/tmp/KAVORIN.wgt; echo "
              "cmd_ret:$?;");
    EXPECT_EQ(service("shell 0 rmfile /opt/usr/apps/tmp/KAVORIN.wgt"),
              "shell:0 rmfile /opt/usr/apps/tmp/KAVORIN.wgt");
    EXPECT_EQ(service("shell 0 applist"), "shell:0 applist");
}

TEST(Args, OnlyEmptyWordsOrWordsWithBlanksAreQuotedAndNeverTheFirst) {
    std::vector<std::string> words = {"first word", "a b", "", "x\"y", "tab\there"};
    EXPECT_EQ(BuildShellService(words), "shell:first word \"a b\" \"\" x\"y tab\there");
}

TEST(Args, AnythingElseIsAUsageError) {
    for (const char* line :
         {"", "frobnicate", "shell", "push only-one", "push a b c", "connect", "connect a b",
          "kill-server now", "devices -l", "-x devices", "-s", "install KAVORIN.wgt"}) {
        ParsedArgs p = Parse(line);
        EXPECT_FALSE(p.invocation.has_value()) << line;
        EXPECT_FALSE(p.error.empty()) << line;
    }
    ParsedArgs withSerial = Parse("-s 10.0.0.7:26101 shell 0 applist");
    ASSERT_TRUE(withSerial.invocation.has_value());
    EXPECT_EQ(withSerial.invocation->serial, "10.0.0.7:26101");
    EXPECT_EQ(Parse("version").invocation->kind, CommandKind::Version);
    EXPECT_EQ(Parse("help").invocation->kind, CommandKind::Help);
}

TEST(Args, PortDefaultsTo26101AndBadPortsAreNamed) {
    std::string bad;
    auto hp = ParseHostPort("192.168.1.66", bad);
    ASSERT_TRUE(hp);
    EXPECT_EQ(hp->port, 26101);
    EXPECT_EQ(hp->serial, "192.168.1.66:26101");
    hp = ParseHostPort("192.168.1.66:26111", bad);
    ASSERT_TRUE(hp);
    EXPECT_EQ(hp->port, 26111);
    for (const char* text : {"1.2.3.4:", "1.2.3.4:0", "1.2.3.4:65536", "1.2.3.4:26101x", "1.2.3.4:-1",
                             "1.2.3.4:123456", "1.2.3.4:1:2"}) {
        bad.clear();
        EXPECT_FALSE(ParseHostPort(text, bad)) << text;
        EXPECT_EQ(bad, std::string(text).substr(std::string(text).find(':') + 1)) << text;
    }
}

TEST(Format, DeviceListLayout) {
    EXPECT_EQ(format::DevicesHeader(), "List of devices attached \n");
    EXPECT_EQ(format::DeviceLine("192.168.1.4:26101", "device", "UA32N4200"),
              "192.168.1.4:26101   \tdevice    \tUA32N4200\n");
    // A serial longer than the column is not cut.
    EXPECT_EQ(format::DeviceLine("192.168.100.100:26101", "offline", "<unknown>"),
              "192.168.100.100:26101\toffline   \t<unknown>\n");
    EXPECT_EQ(format::Printable("bad\nname\x7f"), "bad?name?");
}

TEST(Format, PushProgressUsesTheUnitOfTheFileSize) {
    // The recorded line: a 10733652-byte package at 947 KB/s.
    const uint64_t micros = uint64_t(10733652.0 * 1e6 / (947.5 * 1024));
    EXPECT_EQ(format::PushProgress("signage.player.player-1.0.0.tpk", 10733652, 10733652, micros),
              "pushed signage.player.player-1.0.0.tpk\t100%\t     10MB\t  947KB/s");
    EXPECT_EQ(format::PushProgress("KAVORIN.wgt", 14990, 14990, 1000000),
              "pushed                    KAVORIN.wgt\t100%\t     14KB\t   14KB/s");
    EXPECT_EQ(format::PushProgress("a.wgt", 5000, 10000, 1000000),
              "pushed                          a.wgt\t 50%\t   5000 B\t    4KB/s");
    EXPECT_EQ(format::PushProgress("e", 0, 0, 0),
              "pushed                              e\t100%\t      0 B\t    0KB/s");
}

TEST(Format, PushSummaryLine) {
    EXPECT_EQ(format::PushSummary("/tmp/x.tpk", 10733652, 14905000),
              "/tmp/x.tpk                       703KB/s (10733652 bytes in 14.905s)\n");
    EXPECT_EQ(format::PushSummary("KAVORIN.wgt", 14990, 12345),
              "KAVORIN.wgt                      1185KB/s (14990 bytes in 0.012s)\n");
    // No division by zero on a clock that did not move.
    EXPECT_EQ(format::KilobytesPerSecond(1024, 0), 1000000u);
}

}  // namespace
}  // namespace kb
