// Refusals of the widget packager: every one names the file (or input) at fault and the reason.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kavorin::wgt {

struct Problem {
    std::string file;    // path as the user gave it, made printable
    std::string reason;  // one short sentence, no trailing period
};

class PackageError : public std::runtime_error {
public:
    PackageError(std::string_view file, std::string_view reason);
    explicit PackageError(std::vector<Problem> problems);

    const std::vector<Problem>& Problems() const noexcept { return problems; }

private:
    std::vector<Problem> problems;
};

// A file name made safe to print: bytes outside printable ASCII become \xNN, so a hostile name
// cannot smuggle terminal escapes or line breaks into the message.
std::string PrintableName(std::string_view name);

}  // namespace kavorin::wgt
