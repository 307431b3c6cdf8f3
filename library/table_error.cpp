#include "library/table_error.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace melodrift {

namespace {

FatalTableErrorHandler& FatalHandler() {
  static FatalTableErrorHandler handler;
  return handler;
}

TableMessageHandler& MessageHandler() {
  static TableMessageHandler handler;
  return handler;
}

}  // namespace

std::string ErrorDescription(int code) {
  switch (code) {
    case table_error::kFileNotFound:
      return "File not found";
    case table_error::kPathNotFound:
      return "Path not found";
    case table_error::kAccessDenied:
      return "File access denied";
    case table_error::kSharingViolation:
      return "File sharing violation";
    case table_error::kDiskRead:
      return "Disk read error";
    case table_error::kDiskWrite:
      return "Disk write error (probable cause: Disk Full).";
    case table_error::kNotDbase:
      return "Not a dBASE data file";
    case table_error::kUnexpectedEof:
      return "End of file found unexpectedly";
    case table_error::kVirtualFile:
      return "Invalid Operation ";
    case table_error::kInvalidOperation:
      return "Invalid Operation ";
    default:
      return "Error " + std::to_string(code);
  }
}

std::string TableError::BoxText() const {
  std::string text = ErrorDescription(code) + "\r\n" + message;
  if (text.size() > 255) text.resize(255);
  return text;
}

TableFatalError::TableFatalError(TableError error)
    : std::runtime_error(error.BoxText()), error_(std::move(error)) {}

FatalTableErrorHandler SetFatalTableErrorHandler(FatalTableErrorHandler handler) {
  return std::exchange(FatalHandler(), std::move(handler));
}

void RaiseTableError(int code, const std::string& message) {
  TableError error{code, message};
  if (FatalHandler()) {
    FatalHandler()(error);
  } else {
    std::fprintf(stderr, "Program halted.\n%s\n", error.BoxText().c_str());
    std::exit(code);
  }
  throw TableFatalError(std::move(error));
}

TableMessageHandler SetTableMessageHandler(TableMessageHandler handler) {
  return std::exchange(MessageHandler(), std::move(handler));
}

void ShowTableMessage(const std::string& text) {
  if (MessageHandler()) {
    MessageHandler()(text);
  } else {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
}

ScopedThrowingTableErrors::ScopedThrowingTableErrors()
    : previous_(SetFatalTableErrorHandler([](const TableError& e) { throw TableFatalError(e); })) {}

ScopedThrowingTableErrors::~ScopedThrowingTableErrors() {
  SetFatalTableErrorHandler(std::move(previous_));
}

}  // namespace melodrift
