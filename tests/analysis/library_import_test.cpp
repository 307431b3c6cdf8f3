// The import without windows: which files are found, what is stored, cancelling, errors and
// the average recomputed at the end.
#include "analysis/library_import.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>

#include "library/dbf_source.h"
#include "tests/analysis/decoding_fixtures.h"
#include "tests/support/library_fixture.h"

namespace melodrift {
namespace {

namespace fs = std::filesystem;
using testing::LibraryFolder;

// Clock-seeded draws, except that the draw deciding whether a known file is shown while
// skipping (a draw from 100) can be fixed, so that the status text does not depend on chance.
class SkipDisplayRandom final : public RandomSource {
 public:
  int64_t Draw(int64_t n) override {
    if (n == 100 && skip_draw) return *skip_draw;
    return RandomSource::Draw(n);
  }
  std::optional<int64_t> skip_draw;
};

class RecordingImportView final : public ImportView {
 public:
  void SetLabel(int label, const std::string& text) override {
    if (label == 1) {
      labels1.push_back(text);
      if (on_label1) on_label1(text);
    }
  }
  void SetProgress(int position) override { max_progress = std::max(max_progress, position); }
  void Repaint() override {}
  void ShowProgressWindow() override {
    ++shown;
    visible = true;
  }
  void HideProgressWindow() override { visible = false; }
  void ShowFileCount(const std::string& text) override { file_count = text; }
  void ReportFailure(const std::string& status, const std::string& log) override {
    failures.push_back(status);
    EXPECT_EQ(status, log);
  }
  void TrackStored() override {
    ++stored;
    if (on_stored) on_stored();
  }
  void ShowError(const std::string& text) override { errors.push_back(text); }

  int Count(const std::string& label1) const {
    return static_cast<int>(std::count(labels1.begin(), labels1.end(), label1));
  }

  std::vector<std::string> labels1;
  std::vector<std::string> failures;
  std::vector<std::string> errors;
  std::string file_count;
  int max_progress = 0;
  int shown = 0;
  int stored = 0;
  bool visible = false;
  std::function<void(const std::string&)> on_label1;
  std::function<void()> on_stored;
};

class HookPump final : public EventPump {
 public:
  void ProcessEvents() override {
    if (hook) hook();
  }
  std::function<void()> hook;
};

class LibraryImportTest : public ::testing::Test {
 protected:
  LibraryImportTest() {
    tables_.SetFileNames(library_.program_folder());
    LibraryFolder::OpenTables(tables_);
    fs::create_directory(music_);
  }

  // A copy of a test MP3 under the music folder (a new path is a new track).
  std::string Put(const std::string& relative, const std::string& fixture = "sine-mono-44k.mp3") {
    const fs::path target = fs::path(music_) / relative;
    fs::create_directories(target.parent_path());
    fs::copy_file(testing::TestMp3(fixture), target, fs::copy_options::overwrite_existing);
    return target.string();
  }
  std::vector<std::string> StoredTitles() {
    std::vector<std::string> titles;
    for (int64_t r = 1; r <= tables_.TrackDBF.RecCount(); ++r)
      titles.push_back(TrimTrailing(tables_.TrackDBF.FieldTextAt(r, "title")));
    std::sort(titles.begin(), titles.end());
    return titles;
  }

  ScopedThrowingTableErrors throwing_;
  LibraryFolder library_;
  testing::TempDir scratch_;
  std::string music_ = scratch_.File("music");
  std::string temp_wav_ = library_.program_folder() + "xxxyyzzz.wav";
  LibraryTables tables_;
  LibraryAverage average_{};
  Tid3v2tag reader_;
  TMP3ToWav converter_;
  SkipDisplayRandom random_;
  HookPump pump_;
  RecordingImportView view_;
  TrackAnalyser analyser_{converter_, random_, pump_, view_};
  LibraryImport import_{tables_, average_, reader_, analyser_, random_, pump_, view_, temp_wav_};
};

TEST_F(LibraryImportTest, NewFilesAreStoredAndKnownOnesSkipped) {
  random_.skip_draw = 0;  // known files pass quietly
  for (int i = 0; i < 5; ++i) Put("known" + std::to_string(i) + ".mp3");
  ASSERT_EQ(import_.Run(music_), LibraryImport::Outcome::kCompleted);
  ASSERT_EQ(tables_.TrackDBF.RecCount(), 5);
  view_.labels1.clear();

  for (int i = 0; i < 3; ++i) Put("new" + std::to_string(i) + ".mp3", "sine-stereo-44k.mp3");
  // From the first new track on, the stored average no longer describes the library: a
  // process ended before the recomputation must leave it to be rebuilt, not stale.
  ASSERT_EQ(tables_.AvgDBF.RecCount(), 256);
  std::vector<int64_t> average_rows_when_stored;
  view_.on_stored = [&] { average_rows_when_stored.push_back(tables_.AvgDBF.RecCount()); };
  ASSERT_EQ(import_.Run(music_), LibraryImport::Outcome::kCompleted);
  view_.on_stored = nullptr;
  EXPECT_EQ(average_rows_when_stored, (std::vector<int64_t>{0, 0, 0}));
  EXPECT_EQ(tables_.AvgDBF.RecCount(), 256);
  EXPECT_EQ(import_.ScannedCount, 8);
  EXPECT_EQ(tables_.TrackDBF.RecCount(), 8);
  EXPECT_EQ(tables_.FeatureDBF.RecCount(), 8 * 256);
  EXPECT_EQ(tables_.NextUniqueID, 8);
  EXPECT_EQ(view_.file_count, "8 Files");
  EXPECT_EQ(view_.Count("reading"), 3);
  EXPECT_EQ(view_.Count("recalculating averages ..."), 1);
  EXPECT_FALSE(view_.visible);
  EXPECT_FALSE(fs::exists(temp_wav_));

  // The three new tracks got consecutive identifiers, their tags and their lengths.
  std::vector<int32_t> ids;
  for (int64_t r = 6; r <= 8; ++r) {
    const TrackRow row = LibraryTables::TrackRowAt(tables_.TrackDBF, r);
    ids.push_back(row.unique_id);
    EXPECT_EQ(row.artist, "Test Signals");
    EXPECT_EQ(row.song, "Two Tones");
    EXPECT_EQ(row.seconds, 1);  // two seconds of stereo: round(B / 4 / 44000) - 1
    EXPECT_EQ(row.filepath, music_ + "/" + row.title);
  }
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, (std::vector<int32_t>{5, 6, 7}));
  FeatureVector stereo;
  ASSERT_TRUE(tables_.ReadFeatures(7, stereo));
  EXPECT_GT(*std::max_element(stereo.begin(), stereo.end()), 0);

  // The average is the mean of the eight tracks' rows.
  FeatureVector mono;
  ASSERT_TRUE(tables_.ReadFeatures(0, mono));
  for (int c : {0, 10, 23, 100})
    EXPECT_DOUBLE_EQ(average_[c], (5.0 * mono[c] + 3.0 * stereo[c]) / 8);

  // The same folder again adds nothing and recomputes nothing; a known file that is shown
  // while skipping gives the count with a lower-case "files".
  view_.labels1.clear();
  random_.skip_draw = 96;
  ASSERT_EQ(import_.Run(music_), LibraryImport::Outcome::kCompleted);
  EXPECT_EQ(tables_.TrackDBF.RecCount(), 8);
  EXPECT_EQ(view_.Count("reading"), 0);
  EXPECT_EQ(view_.Count("recalculating averages ..."), 0);
  EXPECT_EQ(view_.Count("skipping files ... 8"), 1);
  EXPECT_EQ(view_.file_count, "8 files");
}

TEST_F(LibraryImportTest, FindsEveryMp3ButNotInHiddenFoldersOrTwiceThroughLinks) {
  Put("UPPER.MP3");
  Put("Mixed.Mp3");
  Put(".hidden.mp3");
  Put("sub/deeper/in-sub.mp3");
  Put(".hidden-folder/not-found.mp3");
  Put("notes.mp3.txt");
  fs::create_directory_symlink("..", fs::path(music_) / "sub" / "loop");
  fs::create_directory_symlink(fs::path(music_) / "sub", fs::path(music_) / "again");

  ASSERT_EQ(import_.Run(music_), LibraryImport::Outcome::kCompleted);
  EXPECT_EQ(StoredTitles(),
            (std::vector<std::string>{".hidden.mp3", "Mixed.Mp3", "UPPER.MP3", "in-sub.mp3"}));
}

TEST_F(LibraryImportTest, CancelDuringTheFifthDecodingKeepsFourTracks) {
  for (int i = 0; i < 7; ++i) Put("song" + std::to_string(i) + ".mp3");
  int readings = 0;
  bool cancelled = false;
  view_.on_label1 = [&](const std::string& text) {
    if (text == "reading") ++readings;
  };
  pump_.hook = [&] {
    if (readings == 5 && !cancelled) {
      cancelled = true;
      import_.Cancel();
    }
  };

  EXPECT_EQ(import_.Run(music_), LibraryImport::Outcome::kCancelled);
  EXPECT_EQ(readings, 5);
  EXPECT_EQ(tables_.TrackDBF.RecCount(), 4);
  EXPECT_EQ(tables_.FeatureDBF.RecCount(), 4 * 256);
  // The recomputation still runs: a cancelled scan does not cancel it.
  EXPECT_EQ(view_.Count("recalculating averages ..."), 1);
  EXPECT_EQ(tables_.AvgDBF.RecCount(), 256);
  EXPECT_FALSE(fs::exists(temp_wav_));
}

TEST_F(LibraryImportTest, UndecodableFilesAreStoredWithZeroFeaturesAndBadTagsLogged) {
  Put("empty.mp3", "empty.mp3");
  Put("text.mp3", "not-an-mp3.mp3");
  ASSERT_EQ(import_.Run(music_), LibraryImport::Outcome::kCompleted);
  ASSERT_EQ(tables_.TrackDBF.RecCount(), 2);
  for (int64_t r = 1; r <= 2; ++r) {
    const TrackRow row = LibraryTables::TrackRowAt(tables_.TrackDBF, r);
    EXPECT_EQ(row.seconds, -1);
    EXPECT_EQ(row.artist, "unknown");
    EXPECT_EQ(row.song, "unknown");
    EXPECT_EQ(row.album, "unknown");
    FeatureVector values;
    ASSERT_TRUE(tables_.ReadFeatures(row.unique_id, values));
    EXPECT_EQ(values, FeatureVector{});
  }
  ASSERT_EQ(view_.failures.size(), 2u);
  EXPECT_EQ(view_.failures[0].rfind("Invalid MP3 Tag - " + music_ + "/", 0), 0u);
}

TEST_F(LibraryImportTest, AnErrorEndsTheImportAndTheNextOneRecomputes) {
  Put("a.mp3");
  Put("b.mp3");
  // The temporary file cannot be created once its folder is gone.
  testing::TempDir wav_folder;
  const std::string temp_wav = wav_folder.File("sub/xxxyyzzz.wav");
  fs::create_directory(wav_folder.File("sub"));
  LibraryImport import(tables_, average_, reader_, analyser_, random_, pump_, view_, temp_wav);
  view_.on_stored = [&] { fs::remove_all(wav_folder.File("sub")); };

  EXPECT_EQ(import.Run(music_), LibraryImport::Outcome::kFailed);
  EXPECT_EQ(tables_.TrackDBF.RecCount(), 1);
  ASSERT_EQ(view_.errors.size(), 1u);
  EXPECT_NE(view_.errors[0].find(temp_wav), std::string::npos) << view_.errors[0];
  EXPECT_FALSE(view_.visible);
  EXPECT_EQ(view_.Count("recalculating averages ..."), 0);
  EXPECT_EQ(import.AddedCount, 1);

  // The chooser cancelled the next time: the average is recomputed all the same.
  fs::create_directory(wav_folder.File("sub"));
  EXPECT_EQ(import.Run(std::nullopt), LibraryImport::Outcome::kCompleted);
  EXPECT_EQ(view_.Count("recalculating averages ..."), 1);
  EXPECT_EQ(import.AddedCount, 0);
}

TEST_F(LibraryImportTest, PathsTooLongToStoreAreLoggedAndSkipped) {
  const std::string long_name = std::string(120, 'x');
  const std::string path = Put(long_name + "/" + long_name + "/song.mp3");
  ASSERT_GT(path.size(), 254u);
  ASSERT_EQ(import_.Run(music_), LibraryImport::Outcome::kCompleted);
  EXPECT_EQ(tables_.TrackDBF.RecCount(), 0);
  ASSERT_EQ(view_.failures.size(), 1u);
  EXPECT_EQ(view_.failures[0].rfind("Path too long - ", 0), 0u);
}

TEST_F(LibraryImportTest, MissingFolderAndSecondImportAreRefused) {
  EXPECT_EQ(import_.Run(scratch_.File("nowhere")), LibraryImport::Outcome::kFailed);
  ASSERT_EQ(view_.errors.size(), 1u);
  EXPECT_NE(view_.errors[0].find("nowhere"), std::string::npos);

  Put("a.mp3");
  std::optional<LibraryImport::Outcome> nested;
  pump_.hook = [&] {
    if (!nested) nested = import_.Run(music_);
  };
  EXPECT_EQ(import_.Run(music_), LibraryImport::Outcome::kCompleted);
  EXPECT_EQ(nested, LibraryImport::Outcome::kFailed);
  EXPECT_EQ(tables_.TrackDBF.RecCount(), 1);
}

TEST_F(LibraryImportTest, CancelledRecomputationKeepsThePreviousAverage) {
  Put("a.mp3");
  ASSERT_EQ(import_.Run(music_), LibraryImport::Outcome::kCompleted);
  const LibraryAverage before = average_;
  testing::WriteFileBytes(temp_wav_, "left over");

  class CancelAtFirstPoint final : public RandomSource {
   public:
    int64_t Draw(int64_t n) override { return n - 1; }  // every row is a progress point
  } random;
  bool keep_importing = false;
  EXPECT_FALSE(
      RecomputeLibraryAverage(tables_, average_, random, pump_, view_, keep_importing, temp_wav_));
  EXPECT_EQ(average_, before);
  EXPECT_EQ(tables_.AvgDBF.RecCount(), 0);  // rebuilt at the next start
  EXPECT_TRUE(fs::exists(temp_wav_));       // a later import deletes it
  EXPECT_FALSE(view_.visible);
}

TEST_F(LibraryImportTest, EmptyFolderAddsNothingAndDeletesTheTemporaryFile) {
  testing::WriteFileBytes(temp_wav_, "left over");
  ASSERT_EQ(import_.Run(music_), LibraryImport::Outcome::kCompleted);
  EXPECT_EQ(tables_.TrackDBF.RecCount(), 0);
  EXPECT_EQ(view_.Count("recalculating averages ..."), 0);
  EXPECT_FALSE(fs::exists(temp_wav_));
}

}  // namespace
}  // namespace melodrift
