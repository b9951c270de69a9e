// The program's error type: what a failed operation raises and the error box shows.
#pragma once

#include <exception>
#include <string>

#include "UnicodeString.h"

class Exception : public std::exception {
public:
    explicit Exception(UnicodeString message) : message_(std::move(message)), utf8_(ToUtf8(message_.str())) {}
    const UnicodeString& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    UnicodeString message_;
    std::string utf8_;
};

// A resource the program carries is not in its module.
class EResNotFound : public Exception { using Exception::Exception; };
// A file could not be created or written. SystemError() is the system's reason, 0 if none.
class EFCreateError : public Exception {
public:
    explicit EFCreateError(UnicodeString message, unsigned long systemError = 0)
        : Exception(std::move(message)), systemError_(systemError) {}
    unsigned long SystemError() const noexcept { return systemError_; }

private:
    unsigned long systemError_;
};
class EWriteError : public Exception { using Exception::Exception; };
// An operating-system call failed.
class EOSError : public Exception { using Exception::Exception; };
// The form description is malformed (the message names the line).
class EFormError : public Exception { using Exception::Exception; };
