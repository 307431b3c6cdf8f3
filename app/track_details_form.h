// The track details window (TTrackDetails): tags, length and path of one track.
#pragma once

#include <QDialog>

#include "library/library_tables.h"

class QLabel;

namespace melodrift {

class TTrackDetails : public QDialog {
  Q_OBJECT

 public:
  explicit TTrackDetails(QWidget* parent = nullptr);

  // Fills the window from the row (as FormShow does) and shows it without blocking, centred
  // over its parent. The details are not updated while the window stays open.
  void ShowTrack(const TrackRow& row);

 private:
  // Fills the labels from the row: texts trimmed, the length as m:ss.
  void FormShow(const TrackRow& row);

  QLabel* Artist = nullptr;
  QLabel* Song = nullptr;
  QLabel* Album = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Seconds = nullptr;
  QLabel* Path = nullptr;
};

}  // namespace melodrift
