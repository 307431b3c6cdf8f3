#include "app/qt_import_view.h"

#include <QString>

#include "app/main_form.h"

namespace melodrift {

void QtImportView::SetLabel(int label, const std::string& text) {
  if (progress_) progress_->SetLabel(label, text);
}

void QtImportView::SetProgress(int position) {
  if (progress_) progress_->SetProgress(position);
}

void QtImportView::Repaint() {
  if (progress_) progress_->Repaint();
}

void QtImportView::ShowProgressWindow() {
  if (progress_) progress_->show();
}

void QtImportView::HideProgressWindow() {
  if (progress_) progress_->hide();
}

void QtImportView::ShowFileCount(const std::string& text) {
  form_.SetPanelText(0, QString::fromStdString(text));
  form_.repaint();
}

void QtImportView::ReportFailure(const std::string& status_text, const std::string& log_message) {
  form_.ReportFailure(status_text, log_message);
}

void QtImportView::TrackStored() {
  form_.TrackTableChanged();
}

void QtImportView::ShowError(const std::string& text) {
  dialogs_.ShowMessage(text);
}

}  // namespace melodrift
