#include "package.h"

#include <algorithm>
#include <stdexcept>

namespace kavorin::wgt {

std::string AssemblePackage(std::span<const PackagedFile> content, const SigningIdentity& author,
                            const SigningIdentity& distributor, DosTime time) {
    auto find = [&](std::string_view name) -> const PackagedFile* {
        auto it = std::find_if(content.begin(), content.end(),
                               [&](const PackagedFile& f) { return f.name == name; });
        return it == content.end() ? nullptr : &*it;
    };
    std::vector<PackagedFile> signedFiles;
    for (const LayoutEntry& e : kPackageLayout) {
        if (e.kind != EntryKind::Content) continue;
        const PackagedFile* f = find(e.name);
        if (!f) throw std::invalid_argument("package: content file missing: " + std::string(e.name));
        signedFiles.push_back(*f);
    }
    if (signedFiles.size() != content.size())
        throw std::invalid_argument("package: content holds files outside the package layout");

    PackagedFile authorSignature{std::string(kAuthorSignatureName),
                                 BuildSignatureFile(SignatureRole::Author, signedFiles, author)};
    signedFiles.push_back(authorSignature);
    PackagedFile distributorSignature{
        std::string(kDistributorSignatureName),
        BuildSignatureFile(SignatureRole::Distributor, signedFiles, distributor)};
    signedFiles.push_back(std::move(distributorSignature));

    ZipWriter zip(time);
    for (const LayoutEntry& e : kPackageLayout) {
        if (e.kind == EntryKind::Directory) {
            zip.AddDirectory(e.name);
        } else {
            auto it = std::find_if(signedFiles.begin(), signedFiles.end(),
                                   [&](const PackagedFile& f) { return f.name == e.name; });
            zip.AddFile(it->name, it->data);
        }
    }
    return zip.Finish();
}

BuiltPackage BuildPackage(const PackageInputs& inputs) {
    const std::vector<PackagedFile> content = ReadWidgetSource(inputs.sourceDir);
    std::vector<std::string> names;
    for (const PackagedFile& f : content) names.push_back(f.name);
    const PackagedFile& config = *std::find_if(content.begin(), content.end(),
                                               [](const PackagedFile& f) { return f.name == "config.xml"; });

    BuiltPackage built;
    built.config =
        CheckConfig(config.data, (inputs.sourceDir / "config.xml").string(), names, inputs.expectedAppId);
    const SigningIdentity author = SigningIdentity::Load(inputs.authorKey, inputs.authorChain);
    const SigningIdentity distributor = SigningIdentity::Load(inputs.distributorKey, inputs.distributorChain);
    built.bytes = AssemblePackage(content, author, distributor, inputs.time);
    return built;
}

}  // namespace kavorin::wgt
