#include "console.h"

#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace kb {

StdConsole::StdConsole() {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

void StdConsole::Out(std::string_view text) {
#ifdef _WIN32
    std::string translated;
    translated.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\n') translated += '\r';
        translated += c;
    }
    text = translated;
#endif
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void StdConsole::Err(std::string_view text) {
    // stderr stays in text mode on Windows: it only ever carries our own lines.
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

void StdConsole::Raw(std::span<const uint8_t> bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

}  // namespace kb
