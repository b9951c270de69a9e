#include "package_rules.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <system_error>

#include "wgt_error.h"
#include "xml_scan.h"

namespace kavorin::wgt {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kWidgetNs = "http://www.w3.org/ns/widgets";
constexpr std::string_view kTizenNs = "http://tizen.org/ns/widgets";
constexpr std::string_view kContentList = "config.xml, index.html, main.js, css/style.css, wgt_ico.png";

bool IsAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool AllAlnum(std::string_view s) { return std::all_of(s.begin(), s.end(), IsAlnum); }

const LayoutEntry* FindLayout(std::string_view name) {
    for (const LayoutEntry& e : kPackageLayout)
        if (e.name == name) return &e;
    return nullptr;
}

// Splits "a.b.c" into numbers; false when a part is empty, not decimal or too long.
bool ParseDotted(std::string_view s, std::vector<unsigned long>& parts) {
    parts.clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = std::min(s.find('.', start), s.size());
        const std::string_view part = s.substr(start, dot - start);
        unsigned long v = 0;
        if (part.empty() || part.size() > 6) return false;
        const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), v);
        if (ec != std::errc() || end != part.data() + part.size()) return false;
        parts.push_back(v);
        if (dot == s.size()) return true;
        start = dot + 1;
    }
}

std::string Quoted(std::string_view value) {
    std::string shown = PrintableName(value.substr(0, 80));
    if (value.size() > 80) shown += "...";
    return "'" + shown + "'";
}

std::string ReadSourceFile(const fs::path& file, std::uintmax_t size, std::vector<Problem>& problems) {
    if (size > kMaxSourceFileSize) {
        problems.push_back({PrintableName(file.string()), "is larger than 64 MiB"});
        return {};
    }
    std::ifstream in(file, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) problems.push_back({PrintableName(file.string()), "cannot be read"});
    return data;
}

}  // namespace

bool IsPackageId(std::string_view s) { return s.size() == 10 && AllAlnum(s); }

bool IsApplicationId(std::string_view s) {
    return s.size() >= 12 && s.size() <= 63 && s[10] == '.' && IsPackageId(s.substr(0, 10)) &&
           AllAlnum(s.substr(11));
}

std::string EntryNameProblem(std::string_view name) {
    if (name.empty()) return "has an empty name";
    for (unsigned char c : name) {
        if (c >= 0x80) return "name holds a non-ASCII byte; the TV cannot match it to a signature reference";
        if (c == ' ') return "name holds a space, which the TV does not accept in a package entry";
        if (c < 0x20 || c == 0x7F) return "name holds a control character";
        if (c == '\\') return "name holds a backslash";
    }
    if (name.front() == '/') return "name is absolute";
    std::string_view rest = name.ends_with('/') ? name.substr(0, name.size() - 1) : name;
    for (;;) {
        const std::size_t slash = std::min(rest.find('/'), rest.size());
        const std::string_view part = rest.substr(0, slash);
        if (part.empty() || part == "." || part == "..") return "name has an empty, '.' or '..' part";
        if (slash == rest.size()) break;
        rest.remove_prefix(slash + 1);
    }
    return {};
}

std::vector<PackagedFile> ReadWidgetSource(const fs::path& dir) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) throw PackageError(dir.string(), "is not a directory");

    std::vector<Problem> problems;
    std::vector<PackagedFile> found;
    auto report = [&](const fs::path& p, std::string reason) {
        problems.push_back({PrintableName(p.string()), std::move(reason)});
    };

    fs::recursive_directory_iterator it(dir, fs::directory_options::none, ec);
    if (ec) throw PackageError(dir.string(), "cannot be listed: " + ec.message());
    for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) throw PackageError(dir.string(), "cannot be listed: " + ec.message());
        const fs::directory_entry& entry = *it;
        const fs::path& path = entry.path();
        const fs::file_status status = entry.symlink_status(ec);
        if (ec) {
            report(path, "cannot be inspected: " + ec.message());
            continue;
        }
        std::string name = path.lexically_relative(dir).generic_string();

        if (fs::is_symlink(status)) {
            report(path, "is a symbolic link; the package takes plain files only");
            continue;
        }
        if (fs::is_directory(status)) {
            name += '/';
            const LayoutEntry* layout = FindLayout(name);
            if (std::string why = EntryNameProblem(name); !why.empty())
                report(path, why);
            else if (!layout || layout->kind != EntryKind::Directory)
                report(path, "is a folder the package does not have (its only folder is css/)");
            else
                continue;
            it.disable_recursion_pending();  // one report for the folder, not one per file in it
            continue;
        }
        if (!fs::is_regular_file(status)) {
            report(path, "is not a regular file");
            continue;
        }
        const LayoutEntry* layout = FindLayout(name);
        if (std::string why = EntryNameProblem(name); !why.empty()) {
            report(path, why);
        } else if (IsSignatureFileName(name)) {
            report(path, "is a signature file; the packager writes those itself, remove it");
        } else if (!layout || layout->kind != EntryKind::Content) {
            report(path, "is not one of the package's files (" + std::string(kContentList) +
                             "); the TV refuses a package with an unsigned extra file");
        } else {
            const std::uintmax_t size = entry.file_size(ec);
            if (ec) {
                report(path, "cannot be inspected: " + ec.message());
                continue;
            }
            found.push_back({name, ReadSourceFile(path, size, problems)});
        }
    }

    std::vector<PackagedFile> files;
    for (const LayoutEntry& e : kPackageLayout) {
        if (e.kind != EntryKind::Content) continue;
        auto f =
            std::find_if(found.begin(), found.end(), [&](const PackagedFile& p) { return p.name == e.name; });
        if (f == found.end())
            report(dir / fs::path(std::string(e.name)), "is missing");
        else
            files.push_back(std::move(*f));
    }
    if (!problems.empty()) {
        std::sort(problems.begin(), problems.end(),
                  [](const Problem& a, const Problem& b) { return a.file < b.file; });
        throw PackageError(std::move(problems));
    }
    return files;
}

WidgetConfig CheckConfig(std::string_view xml, std::string_view label,
                         std::span<const std::string> packagedNames, std::string_view expectedAppId) {
    std::vector<XmlElement> elements;
    try {
        elements = ReadXmlElements(xml);
    } catch (const XmlError& e) {
        throw PackageError(label, std::string("is not well-formed XML: ") + e.what());
    }

    std::vector<std::string> why;
    const XmlElement& root = elements.front();
    if (root.localName != "widget" || root.namespaceUri != kWidgetNs)
        throw PackageError(label, "root element must be <widget> in namespace " + std::string(kWidgetNs));

    WidgetConfig config;
    if (const XmlAttribute* v = root.Find("version")) {
        config.version = v->value;
        std::vector<unsigned long> parts;
        if (!ParseDotted(v->value, parts) || parts.size() != 3 || parts[0] > 255 || parts[1] > 255 ||
            parts[2] > 65535)
            why.push_back("version " + Quoted(v->value) + " must be x.y.z (0-255.0-255.0-65535)");
    }

    std::vector<const XmlElement*> apps;
    for (const XmlElement& e : elements) {
        if (e.depth != 1) continue;
        if (e.namespaceUri == kTizenNs && e.localName == "application") apps.push_back(&e);
        if (e.namespaceUri == kTizenNs && e.localName == "profile" && config.profile.empty())
            if (const XmlAttribute* n = e.Find("name")) config.profile = n->value;
        if (e.namespaceUri == kWidgetNs && e.localName == "name" && config.name.empty()) config.name = e.text;
        if (e.namespaceUri == kWidgetNs && (e.localName == "content" || e.localName == "icon")) {
            const XmlAttribute* src = e.Find("src");
            if (!src)
                why.push_back("<" + e.localName + "> has no src attribute");
            else if (std::find(packagedNames.begin(), packagedNames.end(), src->value) == packagedNames.end())
                why.push_back("<" + e.localName + " src=" + Quoted(src->value) +
                              "> names a file the package does not hold");
        }
    }
    if (apps.empty()) throw PackageError(label, "has no <tizen:application> element");
    if (apps.size() > 1) throw PackageError(label, "has more than one <tizen:application> element");

    const XmlElement& app = *apps.front();
    const XmlAttribute* id = app.Find("id");
    const XmlAttribute* package = app.Find("package");
    const XmlAttribute* required = app.Find("required_version");
    if (!package)
        why.push_back("<tizen:application> has no package attribute");
    else if (!IsPackageId(package->value))
        why.push_back("package id " + Quoted(package->value) + " must be exactly 10 letters or digits");
    if (!id)
        why.push_back("<tizen:application> has no id attribute");
    else if (!IsApplicationId(id->value))
        why.push_back("application id " + Quoted(id->value) +
                      " must be the 10-character package id, '.', then 1-52 letters or digits");
    if (id && package && !id->value.starts_with(package->value + "."))
        why.push_back("application id " + Quoted(id->value) + " does not start with its package id " +
                      Quoted(package->value));
    if (id && !expectedAppId.empty() && id->value != expectedAppId)
        why.push_back("application id " + Quoted(id->value) + " is not the installer's " +
                      Quoted(expectedAppId));

    std::vector<unsigned long> requiredParts;
    if (!required)
        why.push_back("<tizen:application> lacks required_version, which the TV requires");
    else if (!ParseDotted(required->value, requiredParts) || requiredParts.size() < 2 ||
             requiredParts.size() > 3)
        why.push_back("required_version " + Quoted(required->value) + " is not a version such as 2.3");
    else if (app.Find("launch_mode") &&
             (requiredParts[0] < 2 || (requiredParts[0] == 2 && requiredParts[1] < 4)))
        why.push_back("launch_mode needs required_version 2.4 or later");

    if (!why.empty()) {
        std::vector<Problem> problems;
        for (std::string& w : why) problems.push_back({PrintableName(label), std::move(w)});
        throw PackageError(std::move(problems));
    }
    config.appId = id->value;
    config.packageId = package->value;
    config.requiredVersion = required->value;
    return config;
}

}  // namespace kavorin::wgt
