// The playlist parameters window (TParameterForm): every setting that shapes a playlist, held
// only in its controls for the life of the process. Other parts read the controls through
// Settings() at the moments they need them, so a change applies from the next reading on.
// Main thread only.
#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QPointer>

#include <memory>
#include <vector>

#include "playlist/playlist_settings.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;

namespace melodrift {

// A captioned group of radio buttons laid out in columns; exactly one is checked.
class TRadioGroup final : public QGroupBox {
 public:
  TRadioGroup(const QString& caption, const QStringList& items, int columns, int checked,
              QWidget* parent);
  // Index of the checked item.
  int ItemIndex() const;
  void SetItemIndex(int index);
  QRadioButton* Item(int index) const;

 private:
  QButtonGroup* group_;
  std::vector<QRadioButton*> items_;
};

class TParameterForm final : public QDialog {
  Q_OBJECT

 public:
  // Not a child of `main_window`: it stays usable while the main window is disabled (during a
  // ranking run, behind the playlist window). It opens centred on `main_window`.
  explicit TParameterForm(QWidget* main_window = nullptr);
  ~TParameterForm() override;

  // The settings as the controls hold them at the moment of each call. Valid as long as the
  // window.
  const PlaylistSettings& Settings() const;

  // "Set Options" and the "Set" buttons: shows the window without blocking and brings it to
  // the front.
  void ShowWindow();

  // Handlers.
  void FilterBoxClick();
  void CloseButtonClick();

  // Controls.
  QRadioButton* CountButton;
  QLineEdit* Edit1;  // songs
  QRadioButton* TimeButton;
  QLineEdit* Edit2;  // minutes
  QRadioButton* SizeButton;
  QLineEdit* Edit3;  // megabytes
  QCheckBox* FilterBox;
  QSpinBox* SpinMin;
  QSpinBox* SpinMax;
  TRadioGroup* ArtistGroup;
  TRadioGroup* BoostRadio;
  QSlider* BoostBar;
  QSlider* RandomBar;
  QPushButton* CloseButton;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  class ControlSettings;

  QPointer<QWidget> main_window_;
  std::unique_ptr<ControlSettings> settings_;
  bool placed_ = false;
};

}  // namespace melodrift
