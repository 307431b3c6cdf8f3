#include "analysis/library_average.h"

#include "library/rounding.h"

namespace melodrift {

bool BuildLibraryAverage(LibraryTables& tables, LibraryAverage& average,
                         const std::function<bool()>& after_row) {
  average.fill(0);
  TTzDbf& features = tables.FeatureDBF;
  while (!features.Eof()) {
    const int32_t column = features.FieldInt("f_column");
    const int32_t value = features.FieldInt("f_value");
    if (column >= 0 && column < kFeatureColumns) average[column] += value;
    features.Next();
    if (!after_row()) return false;
  }
  const int64_t tracks = tables.TrackDBF.RecCount();
  if (tracks > 0) {
    for (double& v : average) v /= static_cast<double>(tracks);
  }
  return true;
}

void StoreLibraryAverage(LibraryTables& tables, const LibraryAverage& average,
                         const std::function<void()>& after_row) {
  TTzDbf& avg = tables.AvgDBF;
  for (int column = 0; column < kFeatureColumns; ++column) {
    avg.ClearRecord();
    avg.SetFieldInt("avg_column", column);
    avg.SetFieldInt("avg_value", RoundToInt64(average[column]));
    avg.AppendRec();
    after_row();
  }
  avg.Post();
}

void LoadLibraryAverage(LibraryTables& tables, LibraryAverage& average, EventPump& pump) {
  average.fill(0);
  TTzDbf& avg = tables.AvgDBF;
  avg.Open();
  if (avg.RecCount() > 0) {
    for (avg.First(); !avg.Eof(); avg.Next()) {
      const int32_t column = avg.FieldInt("avg_column");
      if (column >= 0 && column < kFeatureColumns) average[column] = avg.FieldInt("avg_value");
      pump.ProcessEvents();
    }
    return;
  }
  BuildLibraryAverage(tables, average, [&] {
    pump.ProcessEvents();
    return true;
  });
  StoreLibraryAverage(tables, average, [&] { pump.ProcessEvents(); });
}

}  // namespace melodrift
