// The library average spectrum: per feature column, the sum of the feature table's values
// divided by the number of tracks. Held in memory unrounded, stored rounded in the average
// table so that a start reads 256 rows instead of the whole feature table. Main thread only.
#pragma once

#include <array>
#include <functional>

#include "app/event_pump.h"
#include "library/feature_vector.h"
#include "library/library_tables.h"

namespace melodrift {

using LibraryAverage = std::array<double, kFeatureColumns>;

// Sums the feature table from its current row to its end into `average` (columns outside 0
// to 255 ignored) and divides by the track table's row count. `after_row` runs after each
// row's Next; returning false stops the walk at once, and the function returns false with
// `average` holding the partial sums.
bool BuildLibraryAverage(LibraryTables& tables, LibraryAverage& average,
                         const std::function<bool()>& after_row);

// Appends the 256 rounded rows to the (empty) average table, then Post. `after_row` runs
// after each appended row.
void StoreLibraryAverage(LibraryTables& tables, const LibraryAverage& average,
                         const std::function<void()>& after_row);

// At the library opening, with FeatureDBF open on its first row: opens AvgDBF and reads its
// rows; when it has none, builds the average from the feature table and stores it. Events
// run after every row.
void LoadLibraryAverage(LibraryTables& tables, LibraryAverage& average, EventPump& pump);

}  // namespace melodrift
