#include "app/qt_dialogs.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace melodrift {

namespace {

// Messages carry paths, which are the file system's own bytes.
QString MessageText(const std::string& text) {
  return QFile::decodeName(QByteArray::fromStdString(text));
}

}  // namespace

QWidget* QtDialogs::Parent() const {
  // Over the window the user works in: the playlist window stands before the disabled main
  // window, and a box centred on the main window could open behind it.
  QWidget* active = QApplication::activeWindow();
  return active != nullptr ? active : owner_.data();
}

void QtDialogs::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::Information, QCoreApplication::applicationName(), MessageText(text),
                  QMessageBox::Ok, Parent());
  box.exec();
}

bool QtDialogs::Confirm(const std::string& text) {
  QMessageBox box(QMessageBox::Question, QCoreApplication::applicationName(), MessageText(text),
                  QMessageBox::Yes | QMessageBox::No, Parent());
  box.setDefaultButton(QMessageBox::No);
  box.exec();
  // Closing the box any other way (Escape, the close box, a rejected dialog) is not a Yes.
  return box.clickedButton() == box.button(QMessageBox::Yes);
}

std::optional<std::string> QtDialogs::ChooseFolder(const std::string& caption,
                                                   const std::string& start_folder) {
  const QString folder = QFileDialog::getExistingDirectory(
      Parent(), MessageText(caption), QFile::decodeName(QByteArray::fromStdString(start_folder)),
      QFileDialog::ShowDirsOnly);
  if (folder.isEmpty()) return std::nullopt;
  return QFile::encodeName(folder).toStdString();
}

std::optional<std::string> QtDialogs::SaveFileName(const std::string& caption,
                                                   const std::string& filter,
                                                   const std::string& default_extension) {
  QFileDialog dialog(Parent(), MessageText(caption));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(NameFilters(filter));
  dialog.setDefaultSuffix(QString::fromStdString(default_extension));
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

QString QtDialogs::NameFilters(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    filters << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
  }
  return filters.join(QStringLiteral(";;"));
}

}  // namespace melodrift
