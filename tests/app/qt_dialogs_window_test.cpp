// The program's message and confirmation boxes: only Yes confirms.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

#include "app/qt_dialogs.h"

namespace melodrift {
namespace {

// Acts on the box that the next call opens, from inside its event loop.
void WhenBoxOpens(std::function<void(QMessageBox&)> act) {
  QTimer::singleShot(0, [act = std::move(act)] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    act(*box);
  });
}

TEST(QtDialogsTest, ConfirmIsTrueOnlyForYes) {
  QtDialogs dialogs;
  struct Case {
    const char* what;
    std::function<void(QMessageBox&)> answer;
    bool confirmed;
  };
  const Case cases[] = {
      {"Yes", [](QMessageBox& b) { b.button(QMessageBox::Yes)->click(); }, true},
      {"No", [](QMessageBox& b) { b.button(QMessageBox::No)->click(); }, false},
      {"Enter on the default button", [](QMessageBox& b) { b.defaultButton()->click(); }, false},
      {"closed without an answer", [](QMessageBox& b) { b.reject(); }, false},
  };
  for (const Case& c : cases) {
    QString text;
    QString title;
    WhenBoxOpens([&](QMessageBox& box) {
      text = box.text();
      title = box.windowTitle();
      c.answer(box);
    });
    EXPECT_EQ(dialogs.Confirm("Sure you want to delete entire library?"), c.confirmed) << c.what;
    EXPECT_EQ(text, "Sure you want to delete entire library?");
    EXPECT_EQ(title, QCoreApplication::applicationName());
  }
}

TEST(QtDialogsTest, ShowMessageShowsPathBytesAsTheFileSystemNamesThem) {
  QtDialogs dialogs;
  QString text;
  WhenBoxOpens([&](QMessageBox& box) {
    text = box.text();
    box.accept();
  });
  dialogs.ShowMessage("Could not read \"/music/d\xC3\xA9j\xC3\xA0.mp3\"");
  EXPECT_EQ(text, QStringLiteral("Could not read \"/music/d\u00e9j\u00e0.mp3\""));
}

}  // namespace
}  // namespace melodrift
