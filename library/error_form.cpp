#include "library/error_form.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include "library/error_log_model.h"

namespace melodrift {

namespace {

constexpr int kClientWidth = 510;
constexpr int kClientHeight = 350;
constexpr int kIndexColumnWidth = 64;

}  // namespace

TErrorForm::TErrorForm(TTzDbf& ErrorDBF, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      ErrorDBF(ErrorDBF),
      model_(new ErrorLogModel(ErrorDBF, this)),
      ErrorGrid(new QTableView(this)),
      DeleteButton(new QPushButton(QStringLiteral("Clear"), this)),
      CloseButton(new QPushButton(QStringLiteral("Close"), this)) {
  setWindowTitle(QStringLiteral("Error Log"));
  setModal(false);
  setFixedSize(kClientWidth, kClientHeight);

  ErrorGrid->setObjectName(QStringLiteral("ErrorGrid"));
  ErrorGrid->setModel(model_);
  ErrorGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ErrorGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
  ErrorGrid->setWordWrap(false);
  ErrorGrid->verticalHeader()->setVisible(false);
  ErrorGrid->verticalHeader()->setDefaultSectionSize(ErrorGrid->fontMetrics().height() + 6);
  ErrorGrid->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
  ErrorGrid->horizontalHeader()->setSectionResizeMode(ErrorLogModel::kIndex, QHeaderView::Fixed);
  ErrorGrid->horizontalHeader()->resizeSection(ErrorLogModel::kIndex, kIndexColumnWidth);
  ErrorGrid->horizontalHeader()->setStretchLastSection(true);
  QFont header_font = ErrorGrid->horizontalHeader()->font();
  header_font.setBold(true);
  ErrorGrid->horizontalHeader()->setFont(header_font);

  DeleteButton->setObjectName(QStringLiteral("DeleteButton"));
  CloseButton->setObjectName(QStringLiteral("CloseButton"));
  // Enter must not empty the log: only Close reacts to it.
  DeleteButton->setAutoDefault(false);
  CloseButton->setDefault(true);
  connect(DeleteButton, &QPushButton::clicked, this, &TErrorForm::DeleteButtonClick);
  connect(CloseButton, &QPushButton::clicked, this, &TErrorForm::CloseButtonClick);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(DeleteButton);
  buttons->addWidget(CloseButton);
  buttons->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 8);
  layout->addWidget(ErrorGrid, 1);
  layout->addLayout(buttons);

  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    setGeometry(
        QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
  }
}

void TErrorForm::EntriesChanged() {
  model_->Refresh();
}

void TErrorForm::showEvent(QShowEvent* event) {
  // Entries may have been written or removed while the window was hidden.
  model_->Refresh();
  QDialog::showEvent(event);
}

void TErrorForm::DeleteButtonClick() {
  if (ErrorDBF.Active()) ErrorDBF.Zap();
  model_->Refresh();
}

void TErrorForm::CloseButtonClick() {
  hide();
}

}  // namespace melodrift
