#include "playlist/progress_form.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <climits>

namespace melodrift {

namespace {

int BarValue(int64_t value) {
  return static_cast<int>(std::clamp<int64_t>(value, 0, INT_MAX));
}

}  // namespace

TProgressForm::TProgressForm(QWidget* main_window)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::MSWindowsFixedSizeDialogHint),
      main_window_(main_window) {
  setWindowTitle(QStringLiteral("Playlist Progress"));
  Label1 = new QLabel(QStringLiteral("0 of 0"), this);
  Label1->setObjectName("Label1");
  Label1->setAlignment(Qt::AlignCenter);
  QFont font = Label1->font();
  font.setBold(true);
  Label1->setFont(font);
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setRange(0, 1);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  Button1 = new QPushButton(QStringLiteral("Cancel"), this);
  Button1->setObjectName("Button1");
  connect(Button1, &QPushButton::clicked, this, &TProgressForm::Button1Click);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 12, 16, 12);
  layout->addWidget(Label1);
  layout->addWidget(ProgressBar1);
  layout->addWidget(Button1, 0, Qt::AlignHCenter);
  setFixedSize(300, 120);
}

void TProgressForm::SetProgress(int64_t visited, int64_t rows) {
  // A maximum of 0 would turn the bar into a busy indicator.
  ProgressBar1->setRange(0, std::max(BarValue(rows), 1));
  ProgressBar1->setValue(std::min(BarValue(visited), ProgressBar1->maximum()));
  Label1->setText(QStringLiteral("%1 of %2").arg(visited).arg(rows));
}

void TProgressForm::Button1Click() {
  if (main_window_ != nullptr) main_window_->setEnabled(true);
  Label1->setText(QStringLiteral("Cancelling process, please wait..."));
  emit CancelRequested();
}

void TProgressForm::showEvent(QShowEvent* event) {
  emit Showing();
  if (main_window_ != nullptr) {
    main_window_->setEnabled(false);
    if (windowHandle() != nullptr && main_window_->windowHandle() != nullptr) {
      windowHandle()->setTransientParent(main_window_->windowHandle());
    }
  }
  QDialog::showEvent(event);
  // The frame's size is known once the window is shown.
  if (main_window_ != nullptr) {
    QRect frame = frameGeometry();
    frame.moveCenter(main_window_->frameGeometry().center());
    move(frame.topLeft());
  }
}

void TProgressForm::closeEvent(QCloseEvent* event) {
  // No close box: the run hides the window; a close from the window manager cancels.
  event->ignore();
  Button1Click();
}

void TProgressForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    Button1Click();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace melodrift
