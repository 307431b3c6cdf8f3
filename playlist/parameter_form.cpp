#include "playlist/parameter_form.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <optional>

namespace melodrift {

namespace {

constexpr int kMaxSpinDigits = 9;

// A spin field that takes digits only. What is typed may lie outside the range until the
// field loses the focus; then it is clamped, and a text that is no number becomes the minimum.
class SpinEdit final : public QSpinBox {
 public:
  SpinEdit(int minimum, int maximum, int value, QWidget* parent) : QSpinBox(parent) {
    setRange(minimum, maximum);
    setValue(value);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
  }

  QValidator::State validate(QString& input, int&) const override {
    if (input.isEmpty()) return QValidator::Intermediate;
    if (input.size() > kMaxSpinDigits) return QValidator::Invalid;
    for (QChar c : input) {
      if (c < u'0' || c > u'9') return QValidator::Invalid;
    }
    const int value = input.toInt();
    return value >= minimum() && value <= maximum() ? QValidator::Acceptable
                                                    : QValidator::Intermediate;
  }

  void fixup(QString& input) const override {
    bool ok = false;
    const int value = input.toInt(&ok);
    input = QString::number(ok ? std::clamp(value, minimum(), maximum()) : minimum());
  }
};

// The value of a spin field as its text says at this moment: a text that is not an integer
// reads as the minimum.
int SpinValue(const QSpinBox& spin) {
  const std::optional<int32_t> value = ParseInteger(spin.cleanText().toStdString());
  return value ? *value : spin.minimum();
}

QSlider* LevelBar(QWidget* parent) {
  auto* bar = new QSlider(Qt::Horizontal, parent);
  bar->setRange(1, 5);
  bar->setValue(3);
  bar->setPageStep(1);
  bar->setSingleStep(1);
  bar->setTickPosition(QSlider::TicksBelow);
  bar->setTickInterval(1);
  return bar;
}

// Field text as the program holds text: ISO-8859-1 (anything else is no digit anyway).
std::string FieldText(const QLineEdit& edit) {
  return edit.text().toLatin1().toStdString();
}

}  // namespace

// ---------------------------------------------------------------- radio group

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, int columns, int checked,
                         QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)) {
  auto* layout = new QGridLayout(this);
  for (int i = 0; i < items.size(); ++i) {
    auto* item = new QRadioButton(items[i], this);
    group_->addButton(item, i);
    layout->addWidget(item, i / columns, i % columns);
    items_.push_back(item);
  }
  SetItemIndex(checked);
}

int TRadioGroup::ItemIndex() const {
  return group_->checkedId();
}

void TRadioGroup::SetItemIndex(int index) {
  if (QRadioButton* item = Item(index)) item->setChecked(true);
}

QRadioButton* TRadioGroup::Item(int index) const {
  return index >= 0 && static_cast<size_t>(index) < items_.size()
             ? items_[static_cast<size_t>(index)]
             : nullptr;
}

// ---------------------------------------------------------------- settings

class TParameterForm::ControlSettings final : public PlaylistSettings {
 public:
  explicit ControlSettings(const TParameterForm& form) : form_(form) {}

  bool FilterOn() const override { return form_.FilterBox->isChecked(); }
  int SpinMin() const override { return SpinValue(*form_.SpinMin); }
  int SpinMax() const override { return SpinValue(*form_.SpinMax); }
  melodrift::ArtistFilter ArtistFilter() const override {
    return static_cast<melodrift::ArtistFilter>(form_.ArtistGroup->ItemIndex());
  }
  melodrift::BoostType BoostType() const override {
    return static_cast<melodrift::BoostType>(form_.BoostRadio->ItemIndex());
  }
  int BoostWeight() const override { return form_.BoostBar->value(); }
  int RandomLevel() const override { return form_.RandomBar->value(); }
  LimitKind Limit() const override {
    if (form_.TimeButton->isChecked()) return LimitKind::kTime;
    if (form_.SizeButton->isChecked()) return LimitKind::kSize;
    return LimitKind::kCount;
  }
  std::string SongsText() const override { return FieldText(*form_.Edit1); }
  std::string MinutesText() const override { return FieldText(*form_.Edit2); }
  std::string MegabytesText() const override { return FieldText(*form_.Edit3); }

 private:
  const TParameterForm& form_;
};

// ---------------------------------------------------------------- window

TParameterForm::TParameterForm(QWidget* main_window)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      main_window_(main_window),
      settings_(std::make_unique<ControlSettings>(*this)) {
  setWindowTitle(QStringLiteral("Playlist Parameters"));
  setModal(false);

  // The size limit: one of three, each with its number.
  auto* limits = new QGroupBox(this);
  auto* limit_grid = new QGridLayout(limits);
  auto limit_row = [&](int row, const QString& caption, const QString& value, const QString& unit,
                       QRadioButton*& button, QLineEdit*& edit) {
    button = new QRadioButton(caption, limits);
    edit = new QLineEdit(value, limits);
    edit->setMaximumWidth(70);
    limit_grid->addWidget(button, row, 0);
    limit_grid->addWidget(edit, row, 1);
    limit_grid->addWidget(new QLabel(unit, limits), row, 2);
  };
  limit_row(0, QStringLiteral("Count"), QStringLiteral("40"), QStringLiteral("Songs"), CountButton,
            Edit1);
  limit_row(1, QStringLiteral("Time"), QStringLiteral("80"), QStringLiteral("Minutes"), TimeButton,
            Edit2);
  limit_row(2, QStringLiteral("Size"), QStringLiteral("700"), QStringLiteral("MB"), SizeButton,
            Edit3);
  limit_grid->setColumnStretch(3, 1);
  CountButton->setChecked(true);  // the three share their parent, so they exclude each other

  FilterBox = new QCheckBox(QStringLiteral("Seconds Filter"), this);
  SpinMin = new SpinEdit(0, 900, 135, this);
  SpinMax = new SpinEdit(1, 9000, 285, this);
  SpinMin->setToolTip(QStringLiteral("Tracks must be longer than this many seconds"));
  SpinMax->setToolTip(QStringLiteral("Tracks must be shorter than this many seconds"));
  SpinMin->setEnabled(false);
  SpinMax->setEnabled(false);
  connect(FilterBox, &QCheckBox::toggled, this, &TParameterForm::FilterBoxClick);
  auto* filter_row = new QHBoxLayout;
  filter_row->addWidget(FilterBox);
  filter_row->addStretch();
  filter_row->addWidget(SpinMin);
  filter_row->addWidget(SpinMax);

  ArtistGroup = new TRadioGroup(
      QStringLiteral("Artist Filter"),
      {QStringLiteral("Off"), QStringLiteral("Same"), QStringLiteral("Different")}, 3, 0, this);
  BoostRadio = new TRadioGroup(QStringLiteral("Boost Type"),
                               {QStringLiteral("Off"), QStringLiteral("Low"),
                                QStringLiteral("High"), QStringLiteral("Auto")},
                               4, 3, this);

  BoostBar = LevelBar(this);
  RandomBar = LevelBar(this);
  auto* bars = new QGridLayout;
  bars->addWidget(new QLabel(QStringLiteral("Boost"), this), 0, 0);
  bars->addWidget(BoostBar, 0, 1);
  bars->addWidget(new QLabel(QStringLiteral("Random"), this), 1, 0);
  bars->addWidget(RandomBar, 1, 1);

  CloseButton = new QPushButton(QStringLiteral("Close"), this);
  connect(CloseButton, &QPushButton::clicked, this, &TParameterForm::CloseButtonClick);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(CloseButton);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(limits);
  layout->addLayout(filter_row);
  layout->addWidget(ArtistGroup);
  layout->addWidget(BoostRadio);
  layout->addLayout(bars);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  const std::pair<QWidget*, const char*> names[] = {
      {CountButton, "CountButton"}, {Edit1, "Edit1"},
      {TimeButton, "TimeButton"},   {Edit2, "Edit2"},
      {SizeButton, "SizeButton"},   {Edit3, "Edit3"},
      {FilterBox, "FilterBox"},     {SpinMin, "SpinMin"},
      {SpinMax, "SpinMax"},         {ArtistGroup, "ArtistGroup"},
      {BoostRadio, "BoostRadio"},   {BoostBar, "BoostBar"},
      {RandomBar, "RandomBar"},     {CloseButton, "CloseButton"}};
  for (const auto& [widget, name] : names) widget->setObjectName(name);
}

TParameterForm::~TParameterForm() = default;

const PlaylistSettings& TParameterForm::Settings() const {
  return *settings_;
}

void TParameterForm::ShowWindow() {
  show();
  raise();
  activateWindow();
}

void TParameterForm::showEvent(QShowEvent* event) {
  if (main_window_ != nullptr) {
    if (windowHandle() != nullptr && main_window_->windowHandle() != nullptr) {
      windowHandle()->setTransientParent(main_window_->windowHandle());
    }
  }
  QDialog::showEvent(event);
  // Centred once; afterwards it opens where the user left it. The frame's size is known once
  // the window is shown.
  if (main_window_ != nullptr && !placed_) {
    QRect frame = frameGeometry();
    frame.moveCenter(main_window_->frameGeometry().center());
    move(frame.topLeft());
  }
  placed_ = true;
}

void TParameterForm::FilterBoxClick() {
  SpinMin->setEnabled(FilterBox->isChecked());
  SpinMax->setEnabled(FilterBox->isChecked());
}

void TParameterForm::CloseButtonClick() {
  hide();
}

}  // namespace melodrift
