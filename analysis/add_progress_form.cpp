#include "analysis/add_progress_form.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace melodrift {

namespace {

QLabel* CentredBoldLabel(QWidget* parent, bool wraps) {
  auto* label = new QLabel(parent);
  label->setAlignment(Qt::AlignCenter);
  label->setTextFormat(Qt::PlainText);  // tags and paths are never markup
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  label->setWordWrap(wraps);
  return label;
}

}  // namespace

TAddProgress::TAddProgress(QWidget* main_window)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::MSWindowsFixedSizeDialogHint),
      main_window_(main_window) {
  setWindowTitle(QStringLiteral("Add Files Progress"));
  Label1 = CentredBoldLabel(this, false);
  Label2 = CentredBoldLabel(this, false);
  Label3 = CentredBoldLabel(this, true);
  Label3->setMinimumHeight(2 * Label3->fontMetrics().lineSpacing());
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setRange(0, 512);
  ProgressBar1->setTextVisible(false);
  Button1 = new QPushButton(QStringLiteral("Cancel"), this);
  Button1->setObjectName("Button1");
  connect(Button1, &QPushButton::clicked, this, &TAddProgress::Button1Click);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  layout->addWidget(Label2);
  layout->addWidget(Label3);
  layout->addWidget(ProgressBar1);
  layout->addWidget(Button1, 0, Qt::AlignHCenter);
  setFixedSize(360, 190);
}

void TAddProgress::SetLabel(int label, const std::string& text) {
  QLabel* target = label == 1 ? Label1 : label == 2 ? Label2 : Label3;
  target->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

void TAddProgress::SetProgress(int position) {
  ProgressBar1->setValue(std::clamp(position, 0, 512));
}

void TAddProgress::Repaint() {
  repaint();
}

void TAddProgress::Button1Click() {
  Label1->setText(QStringLiteral("Cancelling process, please wait..."));
  if (main_window_ != nullptr) main_window_->setEnabled(true);
  emit CancelRequested();
}

void TAddProgress::showEvent(QShowEvent* event) {
  emit Showing();
  if (main_window_ != nullptr) {
    main_window_->setEnabled(false);
    if (windowHandle() != nullptr && main_window_->windowHandle() != nullptr)
      windowHandle()->setTransientParent(main_window_->windowHandle());
    move(main_window_->geometry().center() - rect().center());
  }
  QDialog::showEvent(event);
}

void TAddProgress::hideEvent(QHideEvent* event) {
  if (main_window_ != nullptr) main_window_->setEnabled(true);
  QDialog::hideEvent(event);
}

void TAddProgress::closeEvent(QCloseEvent* event) {
  // No close box: only the import hides the window; Escape or the window manager cancels.
  event->ignore();
  Button1Click();
}

void TAddProgress::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    Button1Click();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace melodrift
