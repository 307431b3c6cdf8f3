// The splash window (TSplashForm): borderless, on top, centred, animated while visible.
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

#include "app/random_source.h"
#include "app/splash_animation.h"

namespace melodrift {

class TSplashForm : public QWidget {
  Q_OBJECT

 public:
  // The window shares the program's random generator (it reseeds it when shown).
  explicit TSplashForm(RandomSource& random, QWidget* parent = nullptr);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private slots:
  void Timer1Timer();

 private:
  // The showing steps: animation state reset, name and logo drawn into the picture, Timer1
  // started.
  void FormShow();
  // Draws the product name and the logo into the animation's picture at their places.
  void DrawNameAndLogo();

  SplashAnimation animation_;
  QImage frame_;  // the picture as the screen takes it
  QTimer* Timer1;
};

}  // namespace melodrift
