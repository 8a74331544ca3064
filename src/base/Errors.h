// Error types. Every failure is an exception with a message that names what
// failed; only the process entry point reports them.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// A failure of the demo: bad content, a failed platform call, a broken invariant.
class DemoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A content file that is missing, unreadable or malformed. The message names the
// file and, where there is one, the line, record or byte offset.
class ContentError : public DemoError {
public:
    using DemoError::DemoError;
};

// A platform call that returned a failing result code.
class ResultError : public DemoError {
public:
    ResultError(int32_t code, const std::string& message) : DemoError(message), code_(code) {}
    int32_t code() const { return code_; }

private:
    int32_t code_;
};

// An output size or sample count the renderer cannot draw. It is a fault of
// the command line, not of the graphics mode, so it ends the process with its
// own message rather than the graphics-mode error box.
class OutputSettingsError : public DemoError {
public:
    using DemoError::DemoError;
};

// An index outside an array's declared bounds.
class BoundsError : public DemoError {
public:
    using DemoError::DemoError;
};
