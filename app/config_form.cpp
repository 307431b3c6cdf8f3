#include "app/config_form.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace melodrift {

TConfigForm::TConfigForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint),
      SpButton1(new QPushButton(QStringLiteral("Add"), this)),
      CloseButton(new QPushButton(QStringLiteral("Skip"), this)) {
  setWindowTitle(QStringLiteral("Configuration Wizard"));
  setModal(false);

  auto* text = new QLabel(
      QStringLiteral(
          "There are no files in your Melodrift MP3 library.  Would you like to add files now?"),
      this);
  text->setObjectName("WizardText");
  text->setWordWrap(true);
  text->setAlignment(Qt::AlignCenter);

  SpButton1->setObjectName("SpButton1");
  SpButton1->setToolTip(QStringLiteral("Add MP3 files"));
  SpButton1->setDefault(true);
  CloseButton->setObjectName("CloseButton");
  CloseButton->setToolTip(QStringLiteral("Close configuration wizard"));
  connect(SpButton1, &QPushButton::clicked, this, &TConfigForm::SpButton1Click);
  connect(CloseButton, &QPushButton::clicked, this, &TConfigForm::CloseButtonClick);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(SpButton1);
  buttons->addWidget(CloseButton);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 12);
  layout->addWidget(text, 1);
  layout->addLayout(buttons);
  setFixedSize(320, 130);
}

void TConfigForm::ShowCentredOn(const QWidget& window) {
  move(window.frameGeometry().center() - rect().center());
  show();
  // The frame's size is known once the window is shown.
  QRect frame = frameGeometry();
  frame.moveCenter(window.frameGeometry().center());
  move(frame.topLeft());
  raise();
}

void TConfigForm::SpButton1Click() {
  hide();
  emit AddFilesRequested();
}

void TConfigForm::CloseButtonClick() {
  hide();
}

}  // namespace melodrift
