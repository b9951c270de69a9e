// The program's error type: what a failed operation raises and the error box shows.
// An error raised through the system-error funnel (SysUtils.h) also records where it was
// raised; texts meant for the user (a file in use, a bad address) carry no place.
#pragma once

#include <exception>
#include <source_location>
#include <string>

#include "UnicodeString.h"

class Exception : public std::exception {
public:
    explicit Exception(UnicodeString message) : message_(std::move(message)), utf8_(ToUtf8(message_.str())) {}
    Exception(UnicodeString message, const std::source_location& where) : Exception(std::move(message)) {
        where_ = Place(where);
    }
    const UnicodeString& Message() const noexcept { return message_; }
    // "File.cpp:42, function", or empty when the place was not recorded.
    const std::wstring& Where() const noexcept { return where_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    static std::wstring Place(const std::source_location& where) {
        std::string file = where.file_name();
        const size_t slash = file.find_last_of("/\\");
        if (slash != std::string::npos) file.erase(0, slash + 1);
        return FromUtf8(file + ":" + std::to_string(where.line()) + ", " + where.function_name());
    }

    UnicodeString message_;
    std::string utf8_;
    std::wstring where_;
};

// A resource the program carries is not in its module.
class EResNotFound : public Exception {
    using Exception::Exception;
};
// A file could not be created or written. SystemError() is the system's reason, 0 if none.
class EFCreateError : public Exception {
public:
    explicit EFCreateError(UnicodeString message, unsigned long systemError = 0)
        : Exception(std::move(message)), systemError_(systemError) {}
    EFCreateError(UnicodeString message, unsigned long systemError, const std::source_location& where)
        : Exception(std::move(message), where), systemError_(systemError) {}
    unsigned long SystemError() const noexcept { return systemError_; }

private:
    unsigned long systemError_;
};
// Writing a file failed part way. SystemError() is the system's reason, 0 if none.
class EWriteError : public EFCreateError {
    using EFCreateError::EFCreateError;
};
// An operating-system call failed.
class EOSError : public Exception {
    using Exception::Exception;
};
// The form description is malformed (the message names the line).
class EFormError : public Exception {
    using Exception::Exception;
};
