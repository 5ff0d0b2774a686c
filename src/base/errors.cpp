#include "base/errors.h"

#include <cerrno>

namespace tidewire {

namespace {

std::string TextFor(IoCode code) {
  switch (code) {
    case IoCode::kFileNotFound:
      return "File not found";
    case IoCode::kAccessDenied:
      return "File access denied";
    case IoCode::kDiskFull:
      return "Disk full";
    case IoCode::kReadBeyondEnd:
      return "Read beyond end of file";
    case IoCode::kInvalidNumericInput:
      return "Invalid numeric input";
    case IoCode::kLineTooLong:
      return "Line too long";
    case IoCode::kPathNotFound:
    case IoCode::kFileNotOpen:
      break;
  }
  return "I/O error " + std::to_string(static_cast<int>(code));
}

}  // namespace

IoError::IoError(IoCode code, std::string file)
    : std::runtime_error(TextFor(code)), code_(static_cast<int>(code)), file_(std::move(file)) {}

IoError::IoError(int code, std::string file)
    : std::runtime_error("I/O error " + std::to_string(code)),
      code_(code),
      file_(std::move(file)) {}

std::string IoError::BoxText() const {
  std::string text = what();
  if (!file_.empty()) text += "\r" + file_;
  return text;
}

void IoError::ThrowFromErrno(int err, const std::string& file) {
  switch (err) {
    case ENOENT:
      throw IoError(IoCode::kFileNotFound, file);
    case ENOTDIR:
      throw IoError(IoCode::kPathNotFound, file);
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
    case EEXIST:
    case ELOOP:  // a link where the file layer never follows one
      throw IoError(IoCode::kAccessDenied, file);
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      throw IoError(IoCode::kDiskFull, file);
    default:
      throw IoError(err, file);
  }
}

}  // namespace tidewire
