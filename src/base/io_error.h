// An operating-system error as the user sees it: the system's description of
// the error number, then " (os error N)". This is the one place where errno
// becomes text.
#ifndef LWK_BASE_IO_ERROR_H_
#define LWK_BASE_IO_ERROR_H_

#include <string>

namespace lwk {

struct IoError {
  int code = 0;  // the error number; 0 for a failure that has none
  std::string message;

  // The error for the error number `code`, e.g. "No such file or directory (os error 2)".
  static IoError from_errno(int code);
  // The error for the current value of errno.
  static IoError last();
  // A failure that has no error number, told in a sentence of our own.
  static IoError of(std::string message) { return IoError{0, std::move(message)}; }

  bool not_found() const;
  friend bool operator==(const IoError&, const IoError&) = default;
};

}  // namespace lwk

#endif  // LWK_BASE_IO_ERROR_H_
