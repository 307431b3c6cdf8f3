// The small table that the index target's inputs belong to: the fuzzed bytes are its .mdx
// file. Two tags (a character key long enough that a few records need a two-level tree, and a
// descending unique numeric one), records with equal keys and a deleted one. The seed indexes
// in the corpus are what our layer writes for it.
#pragma once

#include <string>
#include <vector>

#include "library/tz_dbf.h"

namespace melodrift::fuzz {

inline std::vector<std::string> FixtureIndexList() {
  return {"ASNDX,F,F,asndx", "", "IDDESC,T,T,unique_id", ""};
}

inline void ConfigureFixtureTable(TTzDbf& table, const std::string& dbf_path) {
  table.SetDbfFileName(dbf_path);
  table.SetDbfFields({"unique_id, N, 10, 0", "asndx, C, 100, 0", "include, L, 1, 0"});
  table.SetIndexList(FixtureIndexList());
  table.SetHideDeletedRecs(true);
}

// Writes the table and its index at dbf_path (and the .mdx beside it).
inline void WriteFixtureTable(const std::string& dbf_path) {
  static const char* const kKeys[] = {"Beta",  "Alpha", "Alpha", "Gamma", "Beta",
                                      "Delta", "Omega", "Kappa", "Iota",  "Alpha"};
  TTzDbf table;
  ConfigureFixtureTable(table, dbf_path);
  table.Open();
  for (int i = 0; i < 12; ++i) {
    table.ClearRecord();
    table.SetFieldInt("unique_id", i % 7 == 3 ? -i : i / 2);
    table.SetFieldText("asndx", kKeys[i % 10] + std::string(i < 10 ? "" : " Two"));
    table.SetFieldBool("include", true);
    table.AppendRec();
  }
  table.Go(4);
  table.DeleteRec();
  table.Close();
}

}  // namespace melodrift::fuzz
