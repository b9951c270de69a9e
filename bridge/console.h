// Where the client's output goes. Our own text uses "\n"; device bytes from `shell` pass through
// untouched. On Windows the standard console turns each "\n" of our own text into "\r\n" itself:
// redirected logs get CRLF lines as from a text-mode stream, while a TV's CRLF output is not
// doubled into CR CR LF. Each call hands its bytes to the system before it returns, so nothing
// printed waits in a buffer when the process ends, whichever way it ends.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kb {

class Console {
public:
    virtual ~Console() = default;
    virtual void Out(std::string_view text) = 0;
    virtual void Err(std::string_view text) = 0;
    virtual void Raw(std::span<const uint8_t> bytes) = 0;
};

// The process's stdout and stderr.
class StdConsole : public Console {
public:
    void Out(std::string_view text) override;
    void Err(std::string_view text) override;
    void Raw(std::span<const uint8_t> bytes) override;
};

// Collects everything, for tests and benchmarks.
class BufferConsole : public Console {
public:
    void Out(std::string_view text) override { out.append(text); }
    void Err(std::string_view text) override { err.append(text); }
    void Raw(std::span<const uint8_t> bytes) override { out.append(bytes.begin(), bytes.end()); }
    std::string out, err;
};

}  // namespace kb
