#pragma once

// The exception type of our own code: a name that says what kind of failure
// it is, and a reason for a person to read. The tool's guarded insert logs
// both as "<name>: <reason>", e.g. "NSInvalidArgumentException: attempt to
// insert into an immutable set".

#include <exception>
#include <string>
#include <utility>

namespace fw {

class Exception : public std::exception {
 public:
  // Both in UTF-8.
  Exception(std::string name, std::string reason)
      : name_(std::move(name)), reason_(std::move(reason)) {}

  [[nodiscard]] const std::string& name() const noexcept { return name_; }
  [[nodiscard]] const std::string& reason() const noexcept { return reason_; }
  [[nodiscard]] const char* what() const noexcept override { return reason_.c_str(); }

 private:
  std::string name_;
  std::string reason_;
};

// Logs the exception in flight as "<name>: <reason>": fw::Exception gives its
// own name and reason, a std::exception its demangled type name and what(),
// anything else its demangled type name and an empty reason. Must be called
// inside a catch handler. An exception raised while logging propagates.
void logCaughtException();

}  // namespace fw
