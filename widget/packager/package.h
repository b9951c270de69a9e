// Builds the signed KAVORIN widget package from its source folder and the signing material.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "crypto.h"
#include "package_rules.h"
#include "signature.h"
#include "zip_writer.h"

namespace kavorin::wgt {

struct PackageInputs {
    std::filesystem::path sourceDir;
    std::filesystem::path authorKey;
    std::vector<std::filesystem::path> authorChain;  // leaf first, root left out
    std::filesystem::path distributorKey;
    std::vector<std::filesystem::path> distributorChain;  // leaf first, root left out
    std::string expectedAppId;                            // empty: any valid id
    DosTime time = kPackageTime;
};

struct BuiltPackage {
    std::string bytes;
    WidgetConfig config;
};

// Signs the content files and lays out the archive in kPackageLayout order. content must hold
// exactly the layout's content files (any order).
std::string AssemblePackage(std::span<const PackagedFile> content, const SigningIdentity& author,
                            const SigningIdentity& distributor, DosTime time = kPackageTime);

// Reads and checks everything, then assembles. Throws PackageError naming the file at fault.
BuiltPackage BuildPackage(const PackageInputs& inputs);

}  // namespace kavorin::wgt
