#include "console.h"

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include <cerrno>
#endif

namespace kb {

namespace {

enum class Channel { Out, Err };

// Hands every byte to the system before returning, with no buffer of the C library between:
// whatever ends the process afterwards, what was printed is in the log. A write that fails (a
// closed pipe) loses only its own text.
void WriteAll(Channel channel, std::string_view bytes) {
#ifdef _WIN32
    HANDLE h = GetStdHandle(channel == Channel::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return;
    while (!bytes.empty()) {
        DWORD written = 0;
        const DWORD chunk = DWORD(std::min<size_t>(bytes.size(), 1 << 20));
        if (!WriteFile(h, bytes.data(), chunk, &written, nullptr) || written == 0) return;
        bytes.remove_prefix(written);
    }
#else
    const int fd = channel == Channel::Out ? 1 : 2;
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        bytes.remove_prefix(size_t(n));
    }
#endif
}

// Our own text: on Windows each "\n" becomes "\r\n", as a text-mode stream would write it.
void WriteText(Channel channel, std::string_view text) {
#ifdef _WIN32
    std::string translated;
    translated.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\n') translated += '\r';
        translated += c;
    }
    WriteAll(channel, translated);
#else
    WriteAll(channel, text);
#endif
}

}  // namespace

void StdConsole::Out(std::string_view text) { WriteText(Channel::Out, text); }

void StdConsole::Err(std::string_view text) { WriteText(Channel::Err, text); }

void StdConsole::Raw(std::span<const uint8_t> bytes) {
    WriteAll(Channel::Out, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace kb
