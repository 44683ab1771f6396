// The application's own exceptions. Each carries only its message text, which the window shows in
// a message box and tessel-cli prints to standard error.
#pragma once

#include <stdexcept>
#include <string>

namespace tessel {

// Text that should have been an integer ("'%s' is not a valid integer value").
class EConvertError : public std::runtime_error {
 public:
  explicit EConvertError(const std::string& message) : std::runtime_error(message) {}
};

// An index outside an integer list.
class EListError : public std::runtime_error {
 public:
  explicit EListError(const std::string& message) : std::runtime_error(message) {}
};

// A failed export step that is not a file error (for example an interaction that gave up).
class EExportError : public std::runtime_error {
 public:
  explicit EExportError(const std::string& message) : std::runtime_error(message) {}
};

// A project file that cannot be used: not JSON, not a project, of another version, a value of the
// wrong kind, or a picture that is not there. The text names the file.
class EProjectError : public std::runtime_error {
 public:
  explicit EProjectError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace tessel
