#include "package_rules.h"

#include <gtest/gtest.h>

#include <array>
#include <regex>

#include "package.h"
#include "test_support.h"
#include "wgt_error.h"
#include "xml_scan.h"

namespace kavorin::wgt {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WidgetAppDir;
using test::WriteFile;

// --- entry names -------------------------------------------------------------------------------

TEST(EntryNames, AcceptsPlainAsciiPathsOnly) {
    for (const char* ok : {"config.xml", "css/", "css/style.css", "a-b_c~d.e+f", "x/y/z.js"})
        EXPECT_EQ(EntryNameProblem(ok), "") << ok;
    const std::pair<const char*, const char*> bad[] = {
        {"my file.js", "space"},   {"caf\xC3\xA9.js", "non-ASCII"}, {"tab\t.js", "control"},
        {"a\\b.js", "backslash"},  {"/abs.js", "absolute"},         {"a//b.js", "'..' part"},
        {"../up.js", "'..' part"}, {"./x.js", "'..' part"},         {"", "empty"},
    };
    for (const auto& [name, why] : bad)
        EXPECT_NE(EntryNameProblem(name).find(why), std::string::npos) << PrintableName(name);
}

TEST(EntryNames, IdPatterns) {
    EXPECT_TRUE(IsPackageId("Qw7TzLp2Xe"));
    EXPECT_FALSE(IsPackageId("Qw7TzLp2X"));
    EXPECT_FALSE(IsPackageId("Qw7TzLp2Xe1"));
    EXPECT_FALSE(IsPackageId("Qw7TzLp2X_"));
    EXPECT_TRUE(IsApplicationId("Qw7TzLp2Xe.KAVORIN"));
    EXPECT_TRUE(IsApplicationId("Qw7TzLp2Xe.K"));
    EXPECT_TRUE(IsApplicationId("Qw7TzLp2Xe." + std::string(52, 'a')));
    EXPECT_FALSE(IsApplicationId("Qw7TzLp2Xe." + std::string(53, 'a')));
    EXPECT_FALSE(IsApplicationId("Qw7TzLp2Xe."));
    EXPECT_FALSE(IsApplicationId("Qw7TzLp2Xe.KAV-ORIN"));
    EXPECT_FALSE(IsApplicationId("Qw7TzLp2XeXKAVORIN"));
}

// --- config.xml --------------------------------------------------------------------------------

const std::vector<std::string> kNames = {"config.xml", "index.html", "main.js", "css/style.css",
                                         "wgt_ico.png"};

std::string SampleConfig() { return ReadFile(WidgetAppDir() / "config.xml"); }

std::string Replace(std::string s, const std::string& from, const std::string& to) {
    const std::size_t at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) s.replace(at, from.size(), to);
    return s;
}

// All problems the check reports for xml, one "file: reason" per line, or "" when accepted.
std::string ConfigProblems(const std::string& xml, std::string_view expectedId = "Qw7TzLp2Xe.KAVORIN") {
    try {
        CheckConfig(xml, "app/config.xml", kNames, expectedId);
    } catch (const PackageError& e) {
        for (const Problem& p : e.Problems()) EXPECT_EQ(p.file, "app/config.xml");
        return e.what();
    }
    return "";
}

TEST(Config, TheSampleDeclaresWhatTheInstallerRelies) {
    const WidgetConfig c = CheckConfig(SampleConfig(), "config.xml", kNames, "Qw7TzLp2Xe.KAVORIN");
    EXPECT_EQ(c.appId, "Qw7TzLp2Xe.KAVORIN");
    EXPECT_EQ(c.packageId, "Qw7TzLp2Xe");
    EXPECT_EQ(c.name, "KAVORIN");
    EXPECT_EQ(c.profile, "tv-samsung");
    EXPECT_EQ(c.version, "1.0.0");
    EXPECT_EQ(c.requiredVersion, "2.3");
    EXPECT_NE(SampleConfig().find("<content src=\"index.html\"/>"), std::string::npos);
}

TEST(Config, RefusesWhatTheTvsManifestParserRefuses) {
    const std::string base = SampleConfig();
    const std::string app = "id=\"Qw7TzLp2Xe.KAVORIN\" package=\"Qw7TzLp2Xe\" required_version=\"2.3\"";
    struct Case {
        std::string from, to, expected;
    };
    const Case cases[] = {
        {app, "id=\"Zz7TzLp2Xe.KAVORIN\" package=\"Qw7TzLp2Xe\" required_version=\"2.3\"",
         "does not start with its package id 'Qw7TzLp2Xe'"},
        {app, "id=\"Qw7TzLp2Xe.KAVORIN\" package=\"Qw7TzLp2\" required_version=\"2.3\"",
         "package id 'Qw7TzLp2' must be exactly 10 letters or digits"},
        {app, "id=\"Qw7TzLp2Xe.KAV_ORIN\" package=\"Qw7TzLp2Xe\" required_version=\"2.3\"",
         "application id 'Qw7TzLp2Xe.KAV_ORIN' must be the 10-character package id"},
        {app, "id=\"Qw7TzLp2Xe.KAVORIN\" package=\"Qw7TzLp2Xe\"", "lacks required_version"},
        {app, "id=\"Qw7TzLp2Xe.KAVORIN\" package=\"Qw7TzLp2Xe\" required_version=\"two\"",
         "is not a version"},
        {app, app + " launch_mode=\"caller\"", "launch_mode needs required_version 2.4"},
        {app, "package=\"Qw7TzLp2Xe\" required_version=\"2.3\"", "has no id attribute"},
        {"version=\"1.0.0\"", "version=\"1.0\"", "version '1.0' must be x.y.z"},
        {"version=\"1.0.0\"", "version=\"256.0.0\"", "must be x.y.z"},
        {"<content src=\"index.html\"/>", "<content src=\"start.html\"/>",
         "names a file the package does not hold"},
        {"<icon src=\"wgt_ico.png\"/>", "<icon src=\"icon.png\"/>", "<icon src='icon.png'> names a file"},
        {app, "id=\"Qw7TzLp2Xe.OTHER\" package=\"Qw7TzLp2Xe\" required_version=\"2.3\"",
         "is not the installer's 'Qw7TzLp2Xe.KAVORIN'"},
        {"xmlns=\"http://www.w3.org/ns/widgets\"", "xmlns=\"http://example.com/widgets\"",
         "root element must be <widget>"},
        {"<tizen:application " + app + "/>", "", "has no <tizen:application> element"},
        {"<content", "<tizen:application " + app + "/><content", "more than one <tizen:application>"},
    };
    for (const Case& c : cases)
        EXPECT_NE(ConfigProblems(Replace(base, c.from, c.to)).find(c.expected), std::string::npos)
            << c.to << "\n  got: " << ConfigProblems(Replace(base, c.from, c.to));

    EXPECT_EQ(
        ConfigProblems(
            Replace(base, app, app + " launch_mode=\"caller\"").replace(base.find("\"2.3\""), 5, "\"2.4\"")),
        "");
    EXPECT_EQ(ConfigProblems(base, ""), "") << "no expected id: any valid id";
    // Several problems are reported together.
    const std::string two = ConfigProblems(Replace(base, app, "id=\"bad\" package=\"Qw7TzLp2Xe\""));
    EXPECT_NE(two.find("must be the 10-character"), std::string::npos);
    EXPECT_NE(two.find("lacks required_version"), std::string::npos);
}

TEST(Config, RefusesXmlTheTvCannotParse) {
    const std::string base = SampleConfig();
    // A billion laughs behind an external DTD: refused on the DOCTYPE's own line, before any of it is read.
    std::string bomb = "\n<!DOCTYPE widget SYSTEM \"http://127.0.0.1:9/w.dtd\" [<!ENTITY l0 \"ha\">";
    for (int i = 1; i <= 9; ++i) {
        bomb += "\n<!ENTITY l" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k) bomb += "&l" + std::to_string(i - 1) + ";";
        bomb += "\">";
    }
    const std::pair<std::string, std::string> cases[] = {
        {Replace(base, "</widget>", ""), "<widget> is not closed"},
        {Replace(base, "<name>KAVORIN</name>", "<name>KAVORIN</nam>"), "does not match <name>"},
        {Replace(base, "<?xml", "<!DOCTYPE w [<!ENTITY x \"y\">]><?xml"), "DOCTYPE"},
        {Replace(Replace(base, "<name>KAVORIN", "<name>&l9;"), "\n<widget", bomb + "]>\n<widget"),
         "line 2: DOCTYPE"},
        {Replace(base, "<name>KAVORIN", "<name>&bomb;"), "unknown entity '&bomb;'"},
        {Replace(base, "<tizen:profile", "<tv:profile"), "unknown namespace prefix 'tv'"},
        {Replace(base, "viewmodes=\"maximized\"", "viewmodes=\"maximized\" viewmodes=\"x\""), "given twice"},
        {Replace(base, "KAVORIN</name>", "KAV\xFFORIN</name>"), "invalid UTF-8"},
        {base + "<extra/>", "more than one root"},
        {base + "trailing", "text outside the root"},
    };
    for (const auto& [xml, expected] : cases) {
        const std::string got = ConfigProblems(xml);
        EXPECT_NE(got.find("is not well-formed XML: line "), std::string::npos) << got;
        EXPECT_NE(got.find(expected), std::string::npos) << got;
    }
}

TEST(Config, ReadsNamespacesByUriNotByPrefix) {
    std::string xml = SampleConfig();
    xml = Replace(xml, "xmlns:tizen=", "xmlns:t=");
    xml = Replace(xml, "<tizen:application", "<t:application");
    xml = Replace(xml, "<tizen:profile", "<t:profile");
    xml = Replace(xml, "<tizen:setting", "<t:setting");
    xml = Replace(xml, "<name>KAVORIN</name>", "<name><![CDATA[KAV]]>&#79;R&#x49;N<!-- c --></name>");
    const WidgetConfig c = CheckConfig(xml, "config.xml", kNames, "");
    EXPECT_EQ(c.appId, "Qw7TzLp2Xe.KAVORIN");
    EXPECT_EQ(c.name, "KAVORIN");

    const auto elements =
        ReadXmlElements("<a xmlns='u1' xmlns:p=\"u2\"><p:b x='&lt;&amp;&quot;'/><c xmlns='u3'/></a>");
    ASSERT_EQ(elements.size(), 3u);
    EXPECT_EQ(elements[1].namespaceUri, "u2");
    EXPECT_EQ(elements[1].localName, "b");
    EXPECT_EQ(elements[1].depth, 1);
    EXPECT_EQ(elements[1].Find("x")->value, "<&\"");
    EXPECT_EQ(elements[2].namespaceUri, "u3");
}

// --- the source folder -------------------------------------------------------------------------

// A copy of the sample widget's folder to spoil.
class SourceDir : public ::testing::Test {
protected:
    void SetUp() override { fs::copy(WidgetAppDir(), dir.Path() / "app", fs::copy_options::recursive); }
    fs::path App() const { return dir.Path() / "app"; }

    // The problems ReadWidgetSource reports, or "" when it accepts the folder.
    std::string Problems() const {
        try {
            ReadWidgetSource(App());
        } catch (const PackageError& e) {
            return e.what();
        }
        return "";
    }

    TempDir dir;
};

TEST_F(SourceDir, TheSampleReadsInLayoutOrder) {
    const auto files = ReadWidgetSource(App());
    std::vector<std::string> names;
    for (const auto& f : files) names.push_back(f.name);
    EXPECT_EQ(names, kNames);
    EXPECT_EQ(files[4].data, ReadFile(WidgetAppDir() / "wgt_ico.png"));
}

TEST_F(SourceDir, AnExtraFileIsNamedAndRefused) {
    WriteFile(App() / "css" / "notes.txt", "todo");
    const std::string got = Problems();
    EXPECT_NE(got.find(App().string() + "/css/notes.txt: is not one of the package's files"),
              std::string::npos)
        << got;
    EXPECT_NE(got.find("unsigned extra file"), std::string::npos);
}

TEST_F(SourceDir, HiddenFilesAndSignatureFilesAreExtraToo) {
    WriteFile(App() / ".DS_Store", "x");
    WriteFile(App() / "signature1.xml", "x");
    const std::string got = Problems();
    EXPECT_NE(got.find("/.DS_Store: is not one of the package's files"), std::string::npos) << got;
    EXPECT_NE(got.find("/signature1.xml: is a signature file"), std::string::npos) << got;
}

TEST_F(SourceDir, BadNamesAreRefusedWithTheReason) {
    WriteFile(App() / "my file.js", "x");
    WriteFile(App() / "caf\xC3\xA9.js", "x");
    WriteFile(App() / "evil\x1b[31m.js", "x");
    const std::string got = Problems();
    EXPECT_NE(got.find("/my file.js: name holds a space"), std::string::npos) << got;
    EXPECT_NE(got.find("/caf\\xC3\\xA9.js: name holds a non-ASCII byte"), std::string::npos) << got;
    EXPECT_NE(got.find("/evil\\x1B[31m.js: name holds a control character"), std::string::npos) << got;
    EXPECT_EQ(got.find('\x1b'), std::string::npos) << "escapes never reach the terminal";
}

TEST_F(SourceDir, FoldersSymlinksAndMissingFiles) {
    fs::create_directories(App() / "img" / "deep");
    WriteFile(App() / "img" / "deep" / "a.png", "x");
    fs::remove(App() / "main.js");
    fs::create_symlink("/etc/hostname", App() / "main.js");
    fs::remove(App() / "wgt_ico.png");
    const std::string got = Problems();
    EXPECT_NE(got.find("/img: is a folder the package does not have"), std::string::npos) << got;
    EXPECT_EQ(got.find("a.png"), std::string::npos) << "one report for the folder, not for what is inside";
    EXPECT_NE(got.find("/main.js: is a symbolic link"), std::string::npos) << got;
    EXPECT_NE(got.find("/wgt_ico.png: is missing"), std::string::npos) << got;
    EXPECT_NE(got.find("/main.js: is missing"), std::string::npos)
        << "a refused entry does not count as present";

    EXPECT_NE(std::string(PackageError("x", "y").what()), "");
    try {
        ReadWidgetSource(App() / "nowhere");
        ADD_FAILURE() << "accepted a missing folder";
    } catch (const PackageError& e) {
        EXPECT_NE(std::string(e.what()).find("nowhere: is not a directory"), std::string::npos);
    }
}

// --- the whole package -------------------------------------------------------------------------

TEST_F(SourceDir, BuildPackageLaysOutEightEntriesAndIsReproducible) {
    const fs::path k = test::TestKeysDir();
    PackageInputs in;
    in.sourceDir = App();
    in.authorKey = k / "author.key";
    in.authorChain = {k / "author.crt", k / "author-ca.crt"};
    in.distributorKey = k / "distributor.key";
    in.distributorChain = {k / "distributor.crt", k / "distributor-ca.crt"};
    in.expectedAppId = "Qw7TzLp2Xe.KAVORIN";

    const BuiltPackage first = BuildPackage(in);
    EXPECT_EQ(first.bytes, BuildPackage(in).bytes);
    const auto entries = test::ReadZip(first.bytes);
    ASSERT_EQ(entries.size(), 8u);
    for (std::size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(entries[i].name, kPackageLayout[i].name);
    EXPECT_EQ(entries[0].data, ReadFile(App() / "config.xml"));
    // The distributor covers the exact bytes of the author signature in the archive.
    EXPECT_NE(
        entries[7].data.find("<Reference URI=\"author-signature.xml\">\n<DigestMethod Algorithm=\""
                             "http://www.w3.org/2001/04/xmlenc#sha256\"></DigestMethod>\n<DigestValue>" +
                             Base64(Sha256(entries[6].data)) + "</DigestValue>"),
        std::string::npos);

    // A changed content byte changes both signatures.
    WriteFile(App() / "main.js", ReadFile(App() / "main.js") + " ");
    const auto changed = test::ReadZip(BuildPackage(in).bytes);
    EXPECT_NE(changed[6].data, entries[6].data);
    EXPECT_NE(changed[7].data, entries[7].data);

    in.expectedAppId = "Qw7TzLp2Xe.OTHER";
    EXPECT_THROW(BuildPackage(in), PackageError);
}

}  // namespace
}  // namespace kavorin::wgt
