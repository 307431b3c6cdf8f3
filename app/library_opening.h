// The library opening when the main window first shows: the tables are opened (created on
// the first start), the track table is packed and copied into TrackMem, NextUniqueID is
// found and the library average is loaded or built. Main thread only; table failures are
// fatal table errors.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/library_average.h"
#include "app/event_pump.h"
#include "app/random_source.h"
#include "library/library_tables.h"

namespace melodrift {

// What the opening changes in the main window.
class LibraryOpeningView {
 public:
  virtual ~LibraryOpeningView() = default;
  virtual void ShowFileCount(const std::string& text) = 0;  // status panel 0
  virtual void FocusFirstControl() = 0;
  virtual void StartSplashTimer(int interval_ms) = 0;  // one-shot; hides the splash window
  virtual void ShowConfigForm() = 0;                   // the wizard, for an empty library
};

// For an opening without a window (command-line tools, tests, benchmarks): keeps the file
// count text for a caller that wants it and shows nothing.
class SilentOpeningView final : public LibraryOpeningView {
 public:
  void ShowFileCount(const std::string& text) override { file_count = text; }
  void FocusFirstControl() override {}
  void StartSplashTimer(int) override {}
  void ShowConfigForm() override {}
  std::string file_count;
};

// Row numbers of the first and last track in the grid's order (0 for an empty library).
struct OpenedLibrary {
  int32_t FirstRecNo = 0;
  int32_t LastRecNo = 0;
};

// Runs the opening in its fixed order. The track table's first row is current afterwards.
OpenedLibrary OpenLibrary(LibraryTables& tables, LibraryAverage& average, EventPump& pump,
                          RandomSource& random, LibraryOpeningView& view);

// "<n> Files", as status panel 0 shows the size of the library.
std::string FileCountText(int64_t tracks);

}  // namespace melodrift
