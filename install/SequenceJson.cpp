// Writes the install sequence as JSON for the Python test and benchmark tiers, so they run the
// eleven commands from the same rows as the installer:
//   [{"index": 0, "args": "kill-server", "log": null, "barRaise": 4, "talksToTv": false,
//     "namesStaging": false, "holdsVerdict": false, "boundSeconds": 30}, ...]
// "args" keeps its %address %port %appId %widget %staging placeholders; the line cmd.exe gets is
// cmd.exe /c "iu.exe <args>[ > doLog\<log>]". Usage: install_sequence_json <out.json>
#include <cstdio>
#include <fstream>
#include <string>

#include "InstallSteps.h"

namespace {

std::string Quoted(const wchar_t* text) {
    if (!text) return "null";
    std::string out = "\"";
    for (const char c : ToUtf8(text)) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

const char* Bool(bool b) { return b ? "true" : "false"; }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: install_sequence_json <out.json>\n");
        return 2;
    }
    std::string json = "[\n";
    for (int i = 0; i < kInstallCommandCount; ++i) {
        const InstallStep& s = kInstallSequence[i];
        json += "  {\"index\": " + std::to_string(i) + ", \"args\": " + Quoted(s.args) +
                ", \"log\": " + Quoted(s.log) + ", \"barRaise\": " + std::to_string(s.barRaise) +
                ", \"talksToTv\": " + Bool(s.talksToTv) + ", \"namesStaging\": " + Bool(s.NamesStagingDir()) +
                ", \"holdsVerdict\": " + Bool(s.role == CommandRole::Install) +
                ", \"boundSeconds\": " + std::to_string(s.boundSeconds) + "}" +
                (i + 1 < kInstallCommandCount ? ",\n" : "\n");
    }
    json += "]\n";
    std::ofstream out(argv[1], std::ios::binary);
    out << json;
    return out.good() ? 0 : 1;
}
