#include "app/indexing_form.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace melodrift {

TIndexingForm::TIndexingForm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint),
      bar_(new QLabel(this)) {
  bar_->setObjectName("IndexingBar");
  bar_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 8, 12, 8);
  layout->addWidget(bar_);
  // Room for the full row of 100 bars.
  const int width = bar_->fontMetrics().horizontalAdvance(QString(IndexingBar::kFull, '|')) + 24;
  setFixedSize(std::max(width, 360), 44);
}

QString TIndexingForm::BarText() const {
  return bar_->text();
}

void TIndexingForm::BeginIndexing(const std::string& caption) {
  setWindowTitle(QFile::decodeName(QByteArray::fromStdString(caption)));
  bar_->clear();
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  show();
  raise();
  PaintNow();
}

void TIndexingForm::ShowIndexingBar(const std::string& bar) {
  bar_->setText(QString::fromLatin1(bar));
  PaintNow();
}

void TIndexingForm::EndIndexing() {
  hide();
  PaintNow();
}

void TIndexingForm::PaintNow() {
  // Paint and window-system events only: no input, timers or socket notifiers, so no other
  // handler can run while the table layer is in the middle of the build.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                  QEventLoop::ExcludeSocketNotifiers |
                                  QEventLoop::X11ExcludeTimers);
}

}  // namespace melodrift
