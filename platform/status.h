// Status: the result of every platform operation. It carries a category (StatusCode), the
// error number the original platform would have reported for the same failure (2 file not
// found, 3 path not found, 5 access denied, 32 sharing violation, ...) and a message text.
// Platform functions never throw except std::bad_alloc; they return a Status instead.
//
// Thread safety: a Status is a value; distinct objects may be used from distinct threads.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

enum class StatusCode {
  kOk = 0,
  kNotFound,           // file, value or key does not exist (error 2)
  kPathNotFound,       // a folder on the way does not exist (error 3)
  kAccessDenied,       // the host refused the operation (error 5)
  kSharingViolation,   // another process holds the file (error 32)
  kAlreadyExists,      // the name is taken (error 183)
  kNotEmpty,           // a folder to remove still has entries (error 145)
  kPathTooLong,        // "The specified path is too long"
  kUnsupportedFormat,  // "The path format is not supported"
  kInvalidCharacters,  // "Invalid characters in path"
  kDriveNotFound,      // "The drive cannot be found"
  kCorrupt,            // a file's content is malformed (message names the file and line)
  kInvalidArgument,    // the caller passed something unusable
  kIOError,            // any other host failure
  kNotSupported,       // the host cannot do this
};

// Error numbers of the original platform that callers test for.
inline constexpr int kErrorFileNotFound = 2;
inline constexpr int kErrorPathNotFound = 3;
inline constexpr int kErrorAccessDenied = 5;
inline constexpr int kErrorInvalidDrive = 15;
inline constexpr int kErrorSharingViolation = 32;
inline constexpr int kErrorInvalidParameter = 87;
inline constexpr int kErrorInvalidName = 123;
inline constexpr int kErrorModuleNotFound = 126;
inline constexpr int kErrorProcNotFound = 127;
inline constexpr int kErrorDirNotEmpty = 145;
inline constexpr int kErrorAlreadyExists = 183;
inline constexpr int kErrorFilenameTooLong = 206;
inline constexpr int kErrorBadFormat = 11;
inline constexpr int kErrorGenFailure = 31;

// The original platform's message text for an error number ("Access is denied." for 5).
// Unknown numbers give "Unknown error <n>.".
std::string SystemErrorMessage(int error_number);

class Status {
 public:
  // An OK status.
  Status() = default;

  static Status OK() { return Status(); }

  // A failure of the given category. error_number 0 picks the category's usual number;
  // an empty message picks SystemErrorMessage(error_number).
  static Status Error(StatusCode code, std::string message = {}, int error_number = 0);

  // The failure that the host's errno value means, with the message "<context>: <host text>"
  // kept in detail() and the original platform's text in message().
  static Status FromErrno(int host_errno, const std::string& context);

  bool ok() const { return code_ == StatusCode::kOk; }
  StatusCode code() const { return code_; }

  // The original platform's error number (0 for OK).
  int error_number() const { return error_number_; }

  // Text for the user: the original platform's wording where one exists, else our own.
  const std::string& message() const { return message_; }

  // Optional extra text for logs (host error text, file name); may be empty.
  const std::string& detail() const { return detail_; }
  Status& WithDetail(std::string detail) {
    detail_ = std::move(detail);
    return *this;
  }

  // message(), and detail() in parentheses when there is one.
  std::string ToString() const;

 private:
  StatusCode code_ = StatusCode::kOk;
  int error_number_ = 0;
  std::string message_;
  std::string detail_;
};

}  // namespace platform
