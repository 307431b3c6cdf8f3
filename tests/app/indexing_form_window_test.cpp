// The "Indexing" window: shown with its caption and bar while an index file is built.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/indexing_form.h"
#include "library/indexing_view.h"
#include "library/table_error.h"
#include "tests/app/shell_fixtures.h"
#include "tests/support/temp_dir.h"

namespace melodrift {
namespace {

TEST(IndexingFormTest, ShowsCaptionAndBarWhileABuildRuns) {
  TIndexingForm form;
  form.BeginIndexing("Indexing /t/m\xC3\xA9lo/track_id.mdx...");
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Indexing /t/m\u00e9lo/track_id.mdx..."));
  const std::string full(100, '|');
  form.ShowIndexingBar(full);
  EXPECT_EQ(form.BarText(), QString::fromStdString(full));
  form.ShowIndexingBar(std::string(99, '|'));
  EXPECT_EQ(form.BarText().size(), 99);
  form.EndIndexing();
  EXPECT_FALSE(form.isVisible());
}

TEST(IndexingFormTest, AppearsForEachIndexOfAFreshLibrary) {
  ScopedThrowingTableErrors throwing;
  testing::TempDir dir;
  const std::string folder = testing::MakeProgramFolder(dir);
  TIndexingForm form;
  IndexingView* previous = SetIndexingView(&form);
  testing::WriteLibrary(folder, {});
  SetIndexingView(previous);
  EXPECT_FALSE(form.isVisible());
  // The last build of the opening is the feature table's index.
  EXPECT_EQ(form.windowTitle().toStdString(),
            "Indexing " + folder + "tables/feature_values.mdx...");
}

}  // namespace
}  // namespace melodrift
