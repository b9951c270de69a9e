// Text the client prints, in the layout the installer's log files are known to hold.
// Lines end in "\n"; the console layer decides what a line end becomes on disk.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kb::format {

// "List of devices attached " with its trailing space.
std::string DevicesHeader();
// Serial left-justified to 20 columns, TAB, state to 10 columns, TAB, name.
std::string DeviceLine(std::string_view serial, std::string_view state, std::string_view name);

// One progress line without the leading "\r": "pushed", the base name right-aligned to 30,
// percent, amount in the unit chosen by the total size (B below 10 KiB, KB below 10 MiB, else
// MB) and speed, TAB-separated.
std::string PushProgress(std::string_view baseName, uint64_t done, uint64_t total, uint64_t elapsedMicros);
// "<local path left-justified to 30>   <n>KB/s (<bytes> bytes in <s>.<ms>s)".
std::string PushSummary(std::string_view localPath, uint64_t bytes, uint64_t elapsedMicros);
// KB per second as the client reports it: bytes * 10^6 / microseconds / 1024.
uint64_t KilobytesPerSecond(uint64_t bytes, uint64_t elapsedMicros);

// Device names and other remote text are shown on one line: control characters become '?'.
std::string Printable(std::string_view text);

std::string UsageText();
std::string VersionText();

}  // namespace kb::format
