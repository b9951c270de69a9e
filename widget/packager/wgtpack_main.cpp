// wgtpack: builds the signed KAVORIN widget package (.wgt) from the widget's source folder.
//
//   wgtpack --source DIR --author-key KEY --author-cert CRT [--author-cert CRT ...]
//           --distributor-key KEY --distributor-cert CRT [--distributor-cert CRT ...]
//           [--app-id ID] --output FILE.wgt
//
// Certificates are given leaf first; a file may hold several. Exit status: 0 written,
// 1 refused (each problem printed as "file: reason"), 2 bad command line.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

#include "package.h"
#include "wgt_error.h"

namespace fs = std::filesystem;
using namespace kavorin::wgt;

namespace {

constexpr const char* kUsage =
    "usage: wgtpack --source DIR --author-key KEY --author-cert CRT [--author-cert CRT ...]\n"
    "               --distributor-key KEY --distributor-cert CRT [--distributor-cert CRT ...]\n"
    "               [--app-id ID] --output FILE.wgt\n";

int UsageError(const std::string& why) {
    std::fprintf(stderr, "wgtpack: %s\n%s", why.c_str(), kUsage);
    return 2;
}

// Writes through a temporary file and a rename, so a reader never sees half a package.
void WriteAtomically(const fs::path& target, const std::string& bytes) {
    fs::path temp = target;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) throw PackageError(temp.string(), "cannot be created");
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(temp, ignored);
            throw PackageError(temp.string(), "cannot be written");
        }
    }
    std::error_code ec;
    fs::rename(temp, target, ec);
    if (ec) {
        fs::remove(temp, ec);
        throw PackageError(target.string(), "cannot be replaced");
    }
}

}  // namespace

int main(int argc, char** argv) {
    PackageInputs inputs;
    fs::path output;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (i + 1 >= argc) return UsageError("missing value after " + std::string(arg));
        const char* value = argv[++i];
        if (arg == "--source")
            inputs.sourceDir = value;
        else if (arg == "--author-key")
            inputs.authorKey = value;
        else if (arg == "--author-cert")
            inputs.authorChain.emplace_back(value);
        else if (arg == "--distributor-key")
            inputs.distributorKey = value;
        else if (arg == "--distributor-cert")
            inputs.distributorChain.emplace_back(value);
        else if (arg == "--app-id")
            inputs.expectedAppId = value;
        else if (arg == "--output")
            output = value;
        else
            return UsageError("unknown option " + std::string(arg));
    }
    if (inputs.sourceDir.empty() || inputs.authorKey.empty() || inputs.authorChain.empty() ||
        inputs.distributorKey.empty() || inputs.distributorChain.empty() || output.empty())
        return UsageError("--source, both keys, their certificates and --output are required");

    try {
        const BuiltPackage built = BuildPackage(inputs);
        WriteAtomically(output, built.bytes);
        std::printf("wgtpack: wrote %s (%zu bytes, %zu entries, application %s)\n", output.string().c_str(),
                    built.bytes.size(), kPackageLayout.size(), built.config.appId.c_str());
        return 0;
    } catch (const PackageError& e) {
        for (const Problem& p : e.Problems())
            std::fprintf(stderr, "wgtpack: %s: %s\n", p.file.c_str(), p.reason.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "wgtpack: error: %s\n", e.what());
    }
    // Leave no earlier package behind for a later step to pick up as if this build had made it.
    std::error_code ignored;
    fs::remove(output, ignored);
    return 1;
}
