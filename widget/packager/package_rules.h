// What a KAVORIN widget package holds, and the checks that refuse, at build time, what the TV's
// installer would refuse on the device.
#pragma once

#include <array>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "signature.h"

namespace kavorin::wgt {

enum class EntryKind { Content, Directory, Signature };

struct LayoutEntry {
    std::string_view name;
    EntryKind kind;
};

// The package's entries in archive order.
inline constexpr std::array<LayoutEntry, 8> kPackageLayout{{
    {"config.xml", EntryKind::Content},
    {"index.html", EntryKind::Content},
    {"main.js", EntryKind::Content},
    {"css/", EntryKind::Directory},
    {"css/style.css", EntryKind::Content},
    {"wgt_ico.png", EntryKind::Content},
    {kAuthorSignatureName, EntryKind::Signature},
    {kDistributorSignatureName, EntryKind::Signature},
}};

// Largest source file we take; the widget is a handful of small files.
inline constexpr std::uintmax_t kMaxSourceFileSize = 64u << 20;

// Why a name cannot be a package entry, or "" when it can. Names are ASCII without spaces,
// control characters or backslashes: the TV matches files to percent-encoded references and
// cannot express anything else.
std::string EntryNameProblem(std::string_view name);

// Reads the widget's content files from dir (relative names as in kPackageLayout) and refuses an
// extra, missing, misnamed or non-regular entry. All problems are reported together.
std::vector<PackagedFile> ReadWidgetSource(const std::filesystem::path& dir);

struct WidgetConfig {
    std::string appId;
    std::string packageId;
    std::string requiredVersion;
    std::string version;
    std::string name;
    std::string profile;
};

// Checks config.xml the way the TV's manifest parser does. label names the file in messages;
// packagedNames are the files the package will hold; expectedAppId, when not empty, is the
// application id the installer uses, which the package must declare.
WidgetConfig CheckConfig(std::string_view xml, std::string_view label,
                         std::span<const std::string> packagedNames, std::string_view expectedAppId);

bool IsPackageId(std::string_view s);      // ^[0-9a-zA-Z]{10}$
bool IsApplicationId(std::string_view s);  // ^[0-9a-zA-Z]{10}[.][0-9a-zA-Z]{1,52}$

}  // namespace kavorin::wgt
