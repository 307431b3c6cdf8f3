// The "Indexing <path>..." window that shows while the table layer builds an index file.
#pragma once

#include <QWidget>

#include "library/indexing_view.h"

class QLabel;

namespace melodrift {

class TIndexingForm final : public QWidget, public IndexingView {
  Q_OBJECT

 public:
  explicit TIndexingForm(QWidget* parent = nullptr);

  // The caption holds the index path (file-system bytes). Each call shows the window's new
  // state at once: an index build runs inside a table operation, without the event loop.
  void BeginIndexing(const std::string& caption) override;
  void ShowIndexingBar(const std::string& bar) override;
  void EndIndexing() override;

  QString BarText() const;

 private:
  void PaintNow();

  QLabel* bar_;
};

}  // namespace melodrift
