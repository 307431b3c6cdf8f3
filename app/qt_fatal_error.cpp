#include "app/qt_fatal_error.h"

#include <cstdio>
#include <cstdlib>

#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>

#include "library/table_error.h"

namespace melodrift {

namespace {

QString BoxText(const std::string& text) {
  QString shown = QFile::decodeName(QByteArray::fromStdString(text));
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  return shown;
}

// On top, because the splash window (also on top) may be covering the screen's centre.
void ShowBox(QMessageBox::Icon icon, const QString& caption, const QString& text) {
  QMessageBox box(icon, caption, text, QMessageBox::Ok);
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  box.exec();
}

[[noreturn]] void EndProcess(int code) {
  std::fflush(nullptr);
  // No static destructors or window teardown: the tables may be in the middle of an
  // operation, and nothing more may be written to them.
  std::_Exit(code);
}

void ShowFatalErrorAndExit(const TableError& error) {
  static bool halting = false;
  // A second fatal error raised while the box is up ends the process with the first code.
  static int first_code = 0;
  if (halting) EndProcess(first_code);
  halting = true;
  first_code = error.code;
  ShowBox(QMessageBox::Critical, QStringLiteral("Program halted."), BoxText(error.BoxText()));
  EndProcess(error.code);
}

}  // namespace

void InstallQtTableErrorHandlers() {
  SetFatalTableErrorHandler(ShowFatalErrorAndExit);
  SetTableMessageHandler([](const std::string& text) {
    ShowBox(QMessageBox::NoIcon, QCoreApplication::applicationName(), BoxText(text));
  });
}

}  // namespace melodrift
