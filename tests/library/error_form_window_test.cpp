#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QFont>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTableView>

#include <filesystem>
#include <string>

#include "library/error_form.h"
#include "library/error_log.h"
#include "library/library_tables.h"
#include "library/table_error.h"
#include "tests/support/temp_dir.h"

namespace melodrift {
namespace {

// A library in a temporary program folder with its error table open.
class ErrorFormWindowTest : public ::testing::Test {
 protected:
  ErrorFormWindowTest() {
    std::filesystem::create_directory(dir_.File("tables"));
    tables_.SetFileNames(dir_.path() + "/");
    tables_.ErrorDBF.Open();
  }

  QAbstractItemModel* Grid(TErrorForm& form) {
    auto* grid = form.findChild<QTableView*>(QStringLiteral("ErrorGrid"));
    EXPECT_NE(grid, nullptr);
    return grid ? grid->model() : nullptr;
  }
  static QPushButton* Button(TErrorForm& form, const char* name) {
    auto* button = form.findChild<QPushButton*>(QString::fromLatin1(name));
    EXPECT_NE(button, nullptr) << name;
    return button;
  }
  static QVariant Cell(QAbstractItemModel* model, int row, int column) {
    return model->data(model->index(row, column));
  }

  ScopedThrowingTableErrors throwing_;
  testing::TempDir dir_;
  LibraryTables tables_;
};

TEST_F(ErrorFormWindowTest, CaptionSizeAndColumnTitles) {
  TErrorForm form(tables_.ErrorDBF);
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Error Log"));
  EXPECT_EQ(form.size(), QSize(510, 350));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_FALSE(form.isModal());
  EXPECT_EQ(Button(form, "DeleteButton")->text(), QStringLiteral("Clear"));
  EXPECT_EQ(Button(form, "CloseButton")->text(), QStringLiteral("Close"));

  QAbstractItemModel* model = Grid(form);
  ASSERT_NE(model, nullptr);
  ASSERT_EQ(model->columnCount(), 2);
  const QString titles[] = {QStringLiteral("Index"), QStringLiteral("Message")};
  for (int column = 0; column < 2; ++column) {
    EXPECT_EQ(model->headerData(column, Qt::Horizontal).toString(), titles[column]);
    EXPECT_TRUE(model->headerData(column, Qt::Horizontal, Qt::FontRole).value<QFont>().bold());
    EXPECT_EQ(
        model->headerData(column, Qt::Horizontal, Qt::TextAlignmentRole).toInt() & Qt::AlignHCenter,
        Qt::AlignHCenter);
  }
  // The log is read, not edited, in the grid.
  EXPECT_FALSE(form.findChild<QTableView*>()->editTriggers() & QAbstractItemView::DoubleClicked);

  form.show();
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QPoint offset = form.geometry().center() - screen->availableGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 1);
  }
  form.hide();
}

TEST_F(ErrorFormWindowTest, EntriesWrittenWhileOpenAppearAtOnce) {
  WriteErrMsg(tables_.ErrorDBF, "Invalid MP3 Tag - /music/old.mp3");
  TErrorForm form(tables_.ErrorDBF);
  form.show();
  QAbstractItemModel* model = Grid(form);
  ASSERT_EQ(model->rowCount(), 1);

  WriteErrMsg(tables_.ErrorDBF, "Could not play - /music/Caf\xE9.mp3   ");
  WriteErrMsg(tables_.ErrorDBF, "Could not calculate - /music/x.mp3");
  form.EntriesChanged();
  ASSERT_EQ(model->rowCount(), 3);
  const QString messages[] = {
      QStringLiteral("Invalid MP3 Tag - /music/old.mp3"),
      QString::fromUtf8("Could not play - /music/Café.mp3"),  // trailing blanks dropped
      QStringLiteral("Could not calculate - /music/x.mp3"),
  };
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(Cell(model, row, 0).toInt(), row);
    EXPECT_EQ(Cell(model, row, 1).toString(), messages[row]);
  }
  form.hide();
}

TEST_F(ErrorFormWindowTest, ClearEmptiesTheTableAndNumberingStartsAgain) {
  TErrorForm form(tables_.ErrorDBF);
  form.show();
  for (const char* text : {"one", "two", "three"}) WriteErrMsg(tables_.ErrorDBF, text);
  form.EntriesChanged();
  QAbstractItemModel* model = Grid(form);
  ASSERT_EQ(model->rowCount(), 3);

  Button(form, "DeleteButton")->click();  // no question asked
  EXPECT_EQ(tables_.ErrorDBF.RecCount(), 0);
  EXPECT_EQ(model->rowCount(), 0);
  EXPECT_TRUE(form.isVisible());

  WriteErrMsg(tables_.ErrorDBF, "after clear");
  form.EntriesChanged();
  ASSERT_EQ(model->rowCount(), 1);
  EXPECT_EQ(Cell(model, 0, 0).toInt(), 0);
  EXPECT_EQ(Cell(model, 0, 1).toString(), QStringLiteral("after clear"));

  // The emptied table is what the file holds.
  tables_.ErrorDBF.Close();
  tables_.ErrorDBF.Open();
  ASSERT_EQ(tables_.ErrorDBF.RecCount(), 1);
  EXPECT_EQ(tables_.ErrorDBF.FieldIntAt(1, "errndx"), 0);
  form.hide();
}

TEST_F(ErrorFormWindowTest, LongMessageIsStoredAndShownAsItsFirst254Characters) {
  std::string message;
  for (int i = 0; i < 300; ++i) message += static_cast<char>('a' + i % 26);
  WriteErrMsg(tables_.ErrorDBF, message);
  TErrorForm form(tables_.ErrorDBF);
  form.show();
  QAbstractItemModel* model = Grid(form);
  ASSERT_EQ(model->rowCount(), 1);
  EXPECT_EQ(Cell(model, 0, 1).toString(), QString::fromLatin1(message.substr(0, 254)));
  EXPECT_EQ(tables_.ErrorDBF.FieldTextAt(1, "errmsg"), message.substr(0, 254));
  form.hide();
}

TEST_F(ErrorFormWindowTest, CloseHidesAndTheWindowOpensOnTheCurrentTable) {
  TErrorForm form(tables_.ErrorDBF);
  form.show();
  Button(form, "CloseButton")->click();
  EXPECT_FALSE(form.isVisible());

  // Written while hidden, without EntriesChanged: showing reads the table again.
  WriteErrMsg(tables_.ErrorDBF, "while hidden");
  form.show();
  EXPECT_EQ(Grid(form)->rowCount(), 1);
  form.hide();
}

TEST_F(ErrorFormWindowTest, ClosedTableShowsNoRowsInsteadOfFailing) {
  WriteErrMsg(tables_.ErrorDBF, "entry");
  tables_.ErrorDBF.Close();
  TErrorForm form(tables_.ErrorDBF);
  form.show();
  EXPECT_EQ(Grid(form)->rowCount(), 0);
  Button(form, "DeleteButton")->click();
  form.EntriesChanged();
  EXPECT_EQ(Grid(form)->rowCount(), 0);

  tables_.ErrorDBF.Open();
  EXPECT_EQ(tables_.ErrorDBF.RecCount(), 1);  // Clear on a closed table removed nothing
  form.EntriesChanged();
  EXPECT_EQ(Grid(form)->rowCount(), 1);
  form.hide();
}

}  // namespace
}  // namespace melodrift
