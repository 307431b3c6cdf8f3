#include "app/library_opening.h"

#include <algorithm>

namespace melodrift {

std::string FileCountText(int64_t tracks) {
  return std::to_string(tracks) + " Files";
}

OpenedLibrary OpenLibrary(LibraryTables& tables, LibraryAverage& average, EventPump& pump,
                          RandomSource& random, LibraryOpeningView& view) {
  tables.TrackMemStale = 0;
  pump.ProcessEvents();  // the splash window paints

  tables.ErrorDBF.Open();
  tables.TrackDBF.Open();
  tables.TrackDBF.SetIndexTo(tables.TablesFolder() + "track_id.mdx");
  tables.FeatureDBF.Open();

  // Rows flagged deleted are removed for good at every start.
  tables.TrackDBF.FLock();
  tables.TrackDBF.Pack();
  tables.TrackDBF.UnLock();

  tables.ReloadTrackMem();
  int64_t largest = -1;
  for (tables.TrackMem.First(); !tables.TrackMem.Eof(); tables.TrackMem.Next()) {
    largest = std::max<int64_t>(largest, tables.TrackMem.FieldInt("unique_id"));
    pump.ProcessEvents();
  }
  tables.NextUniqueID = static_cast<int32_t>(largest + 1);
  tables.RemoveUnfinishedTrack();

  view.ShowFileCount(FileCountText(tables.TrackDBF.RecCount()));

  tables.FeatureDBF.First();
  LoadLibraryAverage(tables, average, pump);
  tables.FeatureDBF.SetIndexTo(tables.TablesFolder() + "feature_values.mdx");

  view.FocusFirstControl();

  OpenedLibrary opened;
  tables.TrackDBF.First();
  opened.FirstRecNo = static_cast<int32_t>(tables.TrackDBF.RecNo());
  tables.TrackDBF.Last();
  opened.LastRecNo = static_cast<int32_t>(tables.TrackDBF.RecNo());
  tables.TrackDBF.First();

  view.StartSplashTimer(500 + static_cast<int>(random.Draw(500)));
  if (tables.TrackDBF.RecCount() == 0) view.ShowConfigForm();
  return opened;
}

}  // namespace melodrift
