#include "wgt_error.h"

#include <cstdio>

namespace kavorin::wgt {
namespace {

std::string JoinProblems(const std::vector<Problem>& problems) {
    std::string text;
    for (const Problem& p : problems) {
        if (!text.empty()) text += '\n';
        text += p.file + ": " + p.reason;
    }
    return text;
}

}  // namespace

PackageError::PackageError(std::string_view file, std::string_view reason)
    : PackageError(std::vector<Problem>{{PrintableName(file), std::string(reason)}}) {}

PackageError::PackageError(std::vector<Problem> problemList)
    : std::runtime_error(JoinProblems(problemList)), problems(std::move(problemList)) {}

std::string PrintableName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (unsigned char c : name) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char buf[5];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

}  // namespace kavorin::wgt
