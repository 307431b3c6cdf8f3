// A fatal table error in the window program: the "Program halted." box, then the process ends
// with the error code, of which the exit status keeps the low 8 bits.
#include <gtest/gtest.h>

#include <cstdlib>

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "app/qt_fatal_error.h"
#include "library/table_error.h"

namespace melodrift {
namespace {

constexpr int kWrongBox = 201;

// From inside the box's loop: ends the process with kWrongBox unless the box is as expected,
// otherwise presses OK.
void ExpectBoxThenOk(QString title, QString text, QMessageBox::Icon icon) {
  QTimer::singleShot(0, [=] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || box->windowTitle() != title || box->text() != text ||
        box->icon() != icon) {
      std::_Exit(kWrongBox);
    }
    box->button(QMessageBox::Ok)->click();
  });
}

TEST(QtFatalErrorDeathTest, ShowsProgramHaltedThenExitsWithTheCode) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Case {
    int code;
    const char* message;
    const char* text;
    int status;
  };
  const Case cases[] = {
      {3, "Failure to open /x/tables/errors.dbf [USE/OpenDbf]",
       "Path not found\nFailure to open /x/tables/errors.dbf [USE/OpenDbf]", 3},
      {1100, "Database is not open [TrackMem.First]",
       "Invalid Operation \nDatabase is not open [TrackMem.First]", 76},
  };
  for (const Case& c : cases) {
    EXPECT_EXIT(
        {
          InstallQtTableErrorHandlers();
          ExpectBoxThenOk("Program halted.", c.text, QMessageBox::Critical);
          RaiseTableError(c.code, c.message);
        },
        ::testing::ExitedWithCode(c.status), "")
        << c.code;
  }
}

TEST(QtFatalErrorTest, TableMessagesShowInAPlainBoxAndTheProgramGoesOn) {
  InstallQtTableErrorHandlers();
  bool shown = false;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), QCoreApplication::applicationName());
    EXPECT_EQ(box->text(), QStringLiteral("Could not create \"/t/m\u00e9lo/errors.dbf\""));
    shown = true;
    box->accept();
  });
  ShowTableMessage("Could not create \"/t/m\xC3\xA9lo/errors.dbf\"");
  EXPECT_TRUE(shown);
  SetFatalTableErrorHandler({});
  SetTableMessageHandler({});
}

}  // namespace
}  // namespace melodrift
