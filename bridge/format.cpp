#include "format.h"

#include <cinttypes>
#include <cstdio>

namespace kb::format {

namespace {
template <typename... Args>
std::string Printf(const char* pattern, Args... args) {
    int size = std::snprintf(nullptr, 0, pattern, args...);
    std::string text(size_t(size > 0 ? size : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, pattern, args...);
    return text;
}
}  // namespace

std::string DevicesHeader() { return "List of devices attached \n"; }

std::string DeviceLine(std::string_view serial, std::string_view state, std::string_view name) {
    return Printf("%-20s\t%-10s\t%s\n", std::string(serial).c_str(), std::string(state).c_str(),
                  std::string(name).c_str());
}

uint64_t KilobytesPerSecond(uint64_t bytes, uint64_t elapsedMicros) {
    if (elapsedMicros == 0) elapsedMicros = 1;
    // bytes * 10^6 overflows only beyond 18 TB; divide first for such sizes.
    if (bytes > UINT64_MAX / 1000000u) return bytes / elapsedMicros * 1000000u / 1024u;
    return bytes * 1000000u / elapsedMicros / 1024u;
}

std::string PushProgress(std::string_view baseName, uint64_t done, uint64_t total, uint64_t elapsedMicros) {
    const unsigned percent = total == 0 ? 100u : unsigned(done >= total ? 100 : done * 100 / total);
    const char* unit = " B";
    uint64_t amount = done;
    if (total >= 10ull * 1024 * 1024) {
        unit = "MB";
        amount = done / (1024 * 1024);
    } else if (total >= 10ull * 1024) {
        unit = "KB";
        amount = done / 1024;
    }
    return Printf("pushed %30s\t%3u%%\t%7" PRIu64 "%s\t%5" PRIu64 "KB/s", std::string(baseName).c_str(),
                  percent, amount, unit, KilobytesPerSecond(done, elapsedMicros));
}

std::string PushSummary(std::string_view localPath, uint64_t bytes, uint64_t elapsedMicros) {
    return Printf("%-30s   %" PRIu64 "KB/s (%" PRIu64 " bytes in %" PRIu64 ".%03" PRIu64 "s)\n",
                  std::string(localPath).c_str(), KilobytesPerSecond(bytes, elapsedMicros), bytes,
                  elapsedMicros / 1000000u, elapsedMicros / 1000u % 1000u);
}

std::string Printable(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    }
    return out;
}

std::string UsageText() {
    return "Usage: iu [-s <serial>] <command> [arguments]\n"
           "\n"
           "Commands:\n"
           "  connect <ip>[:<port>]   connect to a TV (port 26101 when not given)\n"
           "  devices                 list the connected TVs\n"
           "  shell <command...>      run a command on the TV\n"
           "  push <local> <remote>   copy a local file to the TV\n"
           "  kill-server             forget every connected TV\n"
           "  version                 show the version of this client\n"
           "  help                    show this text\n"
           "\n"
           "Addresses are numeric IPv4 addresses. No background server is used.\n";
}

std::string VersionText() { return "Kavorin Bridge version 1.0.0\n"; }

}  // namespace kb::format
