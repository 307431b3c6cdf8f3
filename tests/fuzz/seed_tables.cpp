// Writes the table and index seeds of the fuzz corpora with our own table layer:
//   seed_tables CORPUS_DIR
// into CORPUS_DIR/fuzz_dbf_table/ and CORPUS_DIR/fuzz_mdx_index/. Run by make-seeds.sh.
#include <cstdio>
#include <filesystem>
#include <string>

#include "library/table_error.h"
#include "library/tz_dbf.h"
#include "tests/fuzz/fixture_table.h"
#include "tests/support/temp_dir.h"

namespace {

using melodrift::TTzDbf;
namespace fs = std::filesystem;

void Copy(const std::string& from, const fs::path& to) {
  fs::create_directories(to.parent_path());
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

// The track table's layout with two tracks, one of them deleted, text above 127 included.
void WriteTrackTable(const std::string& path) {
  TTzDbf t;
  t.SetDbfFileName(path);
  t.SetDbfFields({"unique_id, N, 10, 0", "title, C, 40, 0", "seconds, N, 10, 0",
                  "filepath, C, 60, 0", "artist, C, 30, 0", "include, L, 1, 0"});
  t.Open();
  const char* const titles[] = {"Undertow", "Caf\xe9 \xc0 la carte"};
  for (int i = 0; i < 2; ++i) {
    t.ClearRecord();
    t.SetFieldInt("unique_id", i + 1);
    t.SetFieldText("title", titles[i]);
    t.SetFieldInt("seconds", 125 + i);
    t.SetFieldText("filepath", std::string("/music/") + titles[i] + ".mp3");
    t.SetFieldText("artist", "Tidal Drift");
    t.SetFieldBool("include", i == 0);
    t.AppendRec();
  }
  t.Go(2);
  t.DeleteRec();
  t.Close();
}

// The feature table's layout: numbers only, negative ones included.
void WriteFeatureTable(const std::string& path) {
  TTzDbf t;
  t.SetDbfFileName(path);
  t.SetDbfFields({"unique_id, N, 10, 0", "f_column, N, 5, 0", "f_value, N, 18, 0"});
  t.Open();
  for (int i = 0; i < 6; ++i) {
    t.ClearRecord();
    t.SetFieldInt("unique_id", 1 + i / 3);
    t.SetFieldInt("f_column", i % 3);
    t.SetFieldInt("f_value", i == 4 ? -1234567 : 1000 * i);
    t.AppendRec();
  }
  t.Close();
}

void WriteEmptyTable(const std::string& path) {
  TTzDbf t;
  t.SetDbfFileName(path);
  t.SetDbfFields({"errndx, N, 10, 0", "errmsg, C, 80, 0"});
  t.Open();
  t.Close();
}

// The fixture's index after keys were moved away and back: a tree of another shape than a
// fresh build, for the same records.
void ReshapeFixtureIndex(const std::string& dbf_path) {
  TTzDbf t;
  melodrift::fuzz::ConfigureFixtureTable(t, dbf_path);
  t.Open();
  for (int recno = 1; recno <= 12; ++recno) {
    t.Go(recno);
    const std::string key = t.FieldText("asndx");
    t.SetFieldText("asndx", "Zulu");
    t.Post();
    t.SetFieldText("asndx", key);
    t.Post();
  }
  t.Close();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
    return 2;
  }
  const fs::path corpus = argv[1];
  melodrift::ScopedThrowingTableErrors throwing;
  melodrift::testing::TempDir dir;
  WriteTrackTable(dir.File("tracks.dbf"));
  Copy(dir.File("tracks.dbf"), corpus / "fuzz_dbf_table" / "track-table.dbf");
  WriteFeatureTable(dir.File("features.dbf"));
  Copy(dir.File("features.dbf"), corpus / "fuzz_dbf_table" / "feature-table.dbf");
  WriteEmptyTable(dir.File("empty.dbf"));
  Copy(dir.File("empty.dbf"), corpus / "fuzz_dbf_table" / "empty-table.dbf");

  const std::string fixture = dir.File("fixture.dbf");
  melodrift::fuzz::WriteFixtureTable(fixture);
  Copy(dir.File("fixture.mdx"), corpus / "fuzz_mdx_index" / "fixture-fresh.mdx");
  ReshapeFixtureIndex(fixture);
  Copy(dir.File("fixture.mdx"), corpus / "fuzz_mdx_index" / "fixture-reshaped.mdx");
  return 0;
}
