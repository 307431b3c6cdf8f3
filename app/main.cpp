// Program entry. Until the shell lands this shows an empty main window, so `make run`
// already starts a real program.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Melodrift");
  QMainWindow window;
  window.setWindowTitle("Melodrift");
  auto* label = new QLabel("The library window is not built yet.", &window);
  label->setAlignment(Qt::AlignCenter);
  window.setCentralWidget(label);
  window.resize(640, 400);
  window.show();
  return app.exec();
}
