// Fatal table errors and the non-fatal messages of the table layer.
//
// Error policy: a failed table-file operation ends the program. The layer reports it to one
// process-wide handler; the window program shows its "Program halted." box and exits with the
// code, tests install a handler that throws. If the handler returns, RaiseTableError throws
// TableFatalError, so no operation ever goes on after a fatal error.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

namespace melodrift {

namespace table_error {
inline constexpr int kFileNotFound = 2;
inline constexpr int kPathNotFound = 3;
inline constexpr int kAccessDenied = 5;
inline constexpr int kSharingViolation = 32;
inline constexpr int kDiskRead = 100;
inline constexpr int kDiskWrite = 101;
inline constexpr int kNotDbase = 210;
inline constexpr int kUnexpectedEof = 213;
inline constexpr int kVirtualFile = 1100;
inline constexpr int kInvalidOperation = 1103;
}  // namespace table_error

// Text of an error code as the error box shows it ("File not found", ...).
std::string ErrorDescription(int code);

struct TableError {
  int code = 0;
  std::string message;  // message of the failed operation
  // Description, CR LF, message; cut to 255 characters.
  std::string BoxText() const;
};

class TableFatalError : public std::runtime_error {
 public:
  explicit TableFatalError(TableError error);
  const TableError& error() const { return error_; }
  int code() const { return error_.code; }

 private:
  TableError error_;
};

using FatalTableErrorHandler = std::function<void(const TableError&)>;

// Installs the process-wide handler and returns the previous one. An empty handler restores
// the default, which prints the box text to standard error and exits with the code.
FatalTableErrorHandler SetFatalTableErrorHandler(FatalTableErrorHandler handler);

// Reports a fatal table error. Never returns.
[[noreturn]] void RaiseTableError(int code, const std::string& message);

// Messages that do not stop the program ("Could not create ...", field corrections).
using TableMessageHandler = std::function<void(const std::string&)>;
TableMessageHandler SetTableMessageHandler(TableMessageHandler handler);
void ShowTableMessage(const std::string& text);

// Installs a fatal handler that throws TableFatalError, for the life of the object (tests,
// command-line tools that want to report errors themselves).
class ScopedThrowingTableErrors {
 public:
  ScopedThrowingTableErrors();
  ~ScopedThrowingTableErrors();
  ScopedThrowingTableErrors(const ScopedThrowingTableErrors&) = delete;
  ScopedThrowingTableErrors& operator=(const ScopedThrowingTableErrors&) = delete;

 private:
  FatalTableErrorHandler previous_;
};

}  // namespace melodrift
