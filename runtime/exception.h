// The exception base class of everything above the engine, and the runtime's own descendants.
// Every failure the layers raise is an Exception carrying one message text; callers that log or
// show a failure use Message() unchanged. what() gives the same text in UTF-8 for code that only
// knows std::exception.
//
// Threading: an Exception object is a value; distinct objects may be used on distinct threads.
#pragma once

#include <QString>
#include <exception>
#include <string>

class Exception : public std::exception {
 public:
  explicit Exception(const QString& msg);
  ~Exception() override;

  QString Message() const { return message_; }
  void SetMessage(const QString& msg);

  // The message in UTF-8; valid until the next SetMessage or the object's destruction.
  const char* what() const noexcept override { return utf8_.c_str(); }

 private:
  QString message_;
  std::string utf8_;
};

// Failures of the dataset framework and of data-access components that are not engine errors.
class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

// A refused input/output operation; ErrorCode is the platform's error number (0 when none).
class EInOutError : public Exception {
 public:
  explicit EInOutError(const QString& msg, int errorCode = 0) : Exception(msg), ErrorCode(errorCode) {}
  int ErrorCode;
};

// A file that could not be created or written: "Cannot create file "<path>". <reason>".
class EFCreateError : public Exception {
 public:
  using Exception::Exception;
};

// A value outside the range its target can hold, or an index outside a list.
class ERangeError : public Exception {
 public:
  using Exception::Exception;
};

// A text that cannot be converted to the requested type.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// Registry access failures: wrong value types and refused writes.
class ERegistryException : public Exception {
 public:
  using Exception::Exception;
};

// A path that is too long, of an unsupported form, with invalid characters or on a missing drive.
class EPathError : public Exception {
 public:
  using Exception::Exception;
};

// Misuse of a string list: an index out of bounds, a refused duplicate, an edit of a sorted list.
class EStringListError : public Exception {
 public:
  using Exception::Exception;
};

// Misuse of a component: an invalid or duplicate name.
class EComponentError : public Exception {
 public:
  using Exception::Exception;
};
