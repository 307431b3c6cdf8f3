#include "app/qt_dialogs.h"

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

void QtDialogs::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::Information, QCoreApplication::applicationName(), MessageText(text),
                  QMessageBox::Ok, owner_);
  box.exec();
}

bool QtDialogs::Confirm(const std::string& text) {
  QMessageBox box(QMessageBox::Question, QCoreApplication::applicationName(), MessageText(text),
                  QMessageBox::Yes | QMessageBox::No, owner_);
  box.setDefaultButton(QMessageBox::No);
  box.exec();
  // Closing the box any other way (Escape, the close box, a rejected dialog) is not a Yes.
  return box.clickedButton() == box.button(QMessageBox::Yes);
}

std::optional<std::string> QtDialogs::ChooseFolder(const std::string& caption,
                                                   const std::string& start_folder) {
  const QString folder = QFileDialog::getExistingDirectory(
      owner_, MessageText(caption), QFile::decodeName(QByteArray::fromStdString(start_folder)),
      QFileDialog::ShowDirsOnly);
  if (folder.isEmpty()) return std::nullopt;
  return QFile::encodeName(folder).toStdString();
}

}  // namespace melodrift
