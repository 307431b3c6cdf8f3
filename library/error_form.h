// The error log window (TErrorForm): a live grid over the error table, "Clear" and "Close".
#pragma once

#include <QDialog>

#include "library/tz_dbf.h"

class QPushButton;
class QTableView;

namespace melodrift {

class ErrorLogModel;

class TErrorForm : public QDialog {
  Q_OBJECT

 public:
  // The window reads ErrorDBF, which must outlive it; while the table is closed (before the
  // library opening) the grid shows no rows.
  explicit TErrorForm(TTzDbf& ErrorDBF, QWidget* parent = nullptr);

  // The error table changed (an entry was written, or it was emptied): the grid shows the
  // table as it is now.
  void EntriesChanged();

 protected:
  void showEvent(QShowEvent* event) override;

 private slots:
  void DeleteButtonClick();
  void CloseButtonClick();

 private:
  TTzDbf& ErrorDBF;
  ErrorLogModel* model_;
  QTableView* ErrorGrid;
  QPushButton* DeleteButton;
  QPushButton* CloseButton;
};

}  // namespace melodrift
