#pragma once

#include <stdexcept>
#include <string>

namespace tidewire {

// Numbers of the file layer's input/output errors, as the operator knows them.
enum class IoCode : int {
  kFileNotFound = 2,
  kPathNotFound = 3,
  kAccessDenied = 5,
  kReadBeyondEnd = 100,
  kDiskFull = 101,
  kFileNotOpen = 103,
  kInvalidNumericInput = 106,
  kLineTooLong = 1000,  // no number of the original layer: a bound of this one
};

// A failed file operation: what() is the text the operator sees ("File not found", ...).
class IoError : public std::runtime_error {
 public:
  IoError(IoCode code, std::string file);
  // Any other error number: "I/O error " and the number.
  IoError(int code, std::string file);

  // Throws the error that matches a failed system call's errno.
  [[noreturn]] static void ThrowFromErrno(int err, const std::string& file);

  [[nodiscard]] int code() const { return code_; }
  [[nodiscard]] const std::string& file() const { return file_; }
  // What a message box shows: the text, and the file on a line of its own.
  [[nodiscard]] std::string BoxText() const;

 private:
  int code_;
  std::string file_;
};

// A conversion the program cannot make, such as a drive letter that is no letter.
class ConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Not an error: a check or the operator decided the program ends now. Front ends turn it
// into an orderly exit with this status.
struct EndProgram {
  enum class Reason { kDriveNotReady, kBidCounterRefused, kDamagedExportFile, kOperator };
  Reason reason;
  // What a window shows before it goes, when the status list alone would vanish with it.
  std::string farewell = {};
};

}  // namespace tidewire
