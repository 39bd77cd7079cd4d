// Status values and the original platform's texts for its error numbers.
#include "platform/status.h"

#include <cerrno>
#include <cstring>

namespace platform {

std::string SystemErrorMessage(int error_number) {
  switch (error_number) {
    case 0:
      return "The operation completed successfully.";
    case kErrorFileNotFound:
      return "The system cannot find the file specified.";
    case kErrorPathNotFound:
      return "The system cannot find the path specified.";
    case kErrorAccessDenied:
      return "Access is denied.";
    case kErrorBadFormat:
      return "An attempt was made to load a program with an incorrect format.";
    case kErrorInvalidDrive:
      return "The system cannot find the drive specified.";
    case kErrorGenFailure:
      return "A device attached to the system is not functioning.";
    case kErrorSharingViolation:
      return "The process cannot access the file because it is being used by another process.";
    case kErrorInvalidParameter:
      return "The parameter is incorrect.";
    case kErrorInvalidName:
      return "The filename, directory name, or volume label syntax is incorrect.";
    case kErrorModuleNotFound:
      return "The specified module could not be found.";
    case kErrorProcNotFound:
      return "The specified procedure could not be found.";
    case kErrorDirNotEmpty:
      return "The directory is not empty.";
    case kErrorAlreadyExists:
      return "Cannot create a file when that file already exists.";
    case kErrorFilenameTooLong:
      return "The filename or extension is too long.";
    case 112:
      return "There is not enough space on the disk.";
    case 8:
      return "Not enough memory resources are available to process this command.";
    case 13:
      return "The data is invalid.";
    case 1010:
      return "The configuration registry key is invalid.";
    case 1015:
      return "The registry is corrupted.";
    default:
      return "Unknown error " + std::to_string(error_number) + ".";
  }
}

namespace {

int DefaultNumber(StatusCode code) {
  switch (code) {
    case StatusCode::kOk:
      return 0;
    case StatusCode::kNotFound:
      return kErrorFileNotFound;
    case StatusCode::kPathNotFound:
      return kErrorPathNotFound;
    case StatusCode::kAccessDenied:
      return kErrorAccessDenied;
    case StatusCode::kSharingViolation:
      return kErrorSharingViolation;
    case StatusCode::kAlreadyExists:
      return kErrorAlreadyExists;
    case StatusCode::kNotEmpty:
      return kErrorDirNotEmpty;
    case StatusCode::kPathTooLong:
      return kErrorFilenameTooLong;
    case StatusCode::kUnsupportedFormat:
      return kErrorInvalidName;
    case StatusCode::kInvalidCharacters:
      return kErrorInvalidName;
    case StatusCode::kDriveNotFound:
      return kErrorInvalidDrive;
    case StatusCode::kCorrupt:
      return 1015;
    case StatusCode::kInvalidArgument:
      return kErrorInvalidParameter;
    case StatusCode::kIOError:
      return kErrorGenFailure;
    case StatusCode::kNotSupported:
      return 50;
  }
  return kErrorGenFailure;
}

}  // namespace

Status Status::Error(StatusCode code, std::string message, int error_number) {
  Status s;
  s.code_ = code;
  s.error_number_ = error_number != 0 ? error_number : DefaultNumber(code);
  s.message_ = message.empty() ? SystemErrorMessage(s.error_number_) : std::move(message);
  return s;
}

Status Status::FromErrno(int host_errno, const std::string& context) {
  StatusCode code;
  switch (host_errno) {
    case ENOENT:
      code = StatusCode::kNotFound;
      break;
    case ENOTDIR:
      code = StatusCode::kPathNotFound;
      break;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      code = StatusCode::kAccessDenied;
      break;
    case EBUSY:
    case ETXTBSY:
    case EAGAIN:
      code = StatusCode::kSharingViolation;
      break;
    case EEXIST:
      code = StatusCode::kAlreadyExists;
      break;
    case ENOTEMPTY:
      code = StatusCode::kNotEmpty;
      break;
    case ENAMETOOLONG:
      code = StatusCode::kPathTooLong;
      break;
    case EINVAL:
      code = StatusCode::kInvalidArgument;
      break;
    case ENOMEM:
      throw std::bad_alloc();
    default:
      code = StatusCode::kIOError;
      break;
  }
  int number = DefaultNumber(code);
  if (host_errno == ENOSPC) number = 112;
  Status s = Error(code, {}, number);
  s.detail_ =
      context.empty() ? std::string(std::strerror(host_errno)) : context + ": " + std::strerror(host_errno);
  return s;
}

std::string Status::ToString() const {
  if (ok()) return "OK";
  if (detail_.empty()) return message_;
  return message_ + " (" + detail_ + ")";
}

}  // namespace platform
