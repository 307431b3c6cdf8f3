// SpectrumCache: the feature rows of every track, read in one pass over the feature table file
// instead of one index seek and 256 steps per track.
#include <algorithm>
#include <string>
#include <string_view>

#include "library/dbf_field.h"
#include "library/dbf_source.h"
#include "library/table_error.h"
#include "library/tz_dbf.h"
#include "playlist/similarity.h"

namespace melodrift {

namespace {

const DbfField& SourceField(const DbfSource& source, const char* name) {
  const std::string wanted = NormalizeFieldName(name);
  for (const DbfField& field : source.fields()) {
    if (field.name == wanted) return field;
  }
  RaiseTableError(table_error::kInvalidOperation,
                  "Field " + std::string(name) + " not found [FeatureDBF.SpectrumCache]");
}

int32_t DecodeField(const uint8_t* record, const DbfField& field) {
  return DecodeInteger(std::string_view(reinterpret_cast<const char*>(record) + field.offset,
                                        static_cast<size_t>(field.length)));
}

// A stretch of consecutive kept rows of one track in record order.
struct Run {
  int32_t unique_id;
  size_t offset;
  size_t count;
};

}  // namespace

const std::vector<FeatureRow>& SpectrumCache::Rows(int32_t unique_id) {
  if (!filled_ || generation_ != tables_.Generation()) Fill();
  const auto found = tracks_.find(unique_id);
  if (found == tracks_.end()) {
    rows_.clear();
    rows_in_column_order_ = false;
    return rows_;
  }
  const Span& span = found->second;
  const int32_t* values = values_.data() + span.offset;
  if (span.in_column_order) {
    // The usual case: the columns handed out last time are still 0 to 255.
    if (!rows_in_column_order_) {
      rows_.resize(kFeatureColumns);
      for (int i = 0; i < kFeatureColumns; ++i) rows_[i].column = static_cast<uint8_t>(i);
      rows_in_column_order_ = true;
    }
    for (int i = 0; i < kFeatureColumns; ++i) rows_[i].value = values[i];
    return rows_;
  }
  rows_in_column_order_ = false;
  rows_.resize(span.count);
  const uint8_t* columns = columns_.data() + span.offset;
  for (size_t i = 0; i < span.count; ++i) rows_[i] = {columns[i], values[i]};
  return rows_;
}

void SpectrumCache::Fill() {
  TTzDbf& table = tables_.FeatureDBF;
  if (!table.Active()) {
    RaiseTableError(table_error::kInvalidOperation,
                    "Database is not open [FeatureDBF.SpectrumCache]");
  }
  filled_ = false;
  columns_.clear();
  values_.clear();
  tracks_.clear();

  // The open table's own count: its header may lag behind the records written.
  const std::string& path = table.DbfFileName();
  DbfSource source(path, OpenTableRecordCount(path));
  const DbfField& id_field = SourceField(source, "unique_id");
  const DbfField& column_field = SourceField(source, "f_column");
  const DbfField& value_field = SourceField(source, "f_value");

  // The index delivers a track's rows in record order, deleted rows included, so one pass in
  // record order gathers them; a track's rows normally lie together in one run.
  std::vector<Run> runs;
  std::vector<uint8_t> columns;
  std::vector<int32_t> values;
  columns.reserve(static_cast<size_t>(source.record_count()));
  values.reserve(static_cast<size_t>(source.record_count()));
  source.Scan([&](int64_t, const uint8_t* record) {
    const int32_t column = DecodeField(record, column_field);
    if (column < 0 || column >= kFeatureColumns) return;
    const int32_t id = DecodeField(record, id_field);
    if (runs.empty() || runs.back().unique_id != id) runs.push_back({id, columns.size(), 0});
    ++runs.back().count;
    columns.push_back(static_cast<uint8_t>(column));
    values.push_back(DecodeField(record, value_field));
  });

  tracks_.reserve(runs.size());
  bool scattered = false;
  for (const Run& run : runs) {
    if (!tracks_.emplace(run.unique_id, Span{run.offset, run.count}).second) {
      scattered = true;
      break;
    }
  }
  if (scattered) {
    // Some track's rows lie apart (rows of other tracks between them): put each track's runs
    // together, keeping record order within the track.
    tracks_.clear();
    std::stable_sort(runs.begin(), runs.end(),
                     [](const Run& a, const Run& b) { return a.unique_id < b.unique_id; });
    columns_.reserve(columns.size());
    values_.reserve(values.size());
    for (const Run& run : runs) {
      Span& span = tracks_[run.unique_id];
      if (span.count == 0) span.offset = columns_.size();
      const auto from = static_cast<std::ptrdiff_t>(run.offset);
      const auto to = static_cast<std::ptrdiff_t>(run.offset + run.count);
      columns_.insert(columns_.end(), columns.begin() + from, columns.begin() + to);
      values_.insert(values_.end(), values.begin() + from, values.begin() + to);
      span.count += run.count;
    }
  } else {
    columns_ = std::move(columns);
    values_ = std::move(values);
  }

  for (auto& [id, span] : tracks_) {
    if (span.count != kFeatureColumns) continue;
    const uint8_t* column = columns_.data() + span.offset;
    span.in_column_order = true;
    for (int i = 0; i < kFeatureColumns && span.in_column_order; ++i) {
      span.in_column_order = column[i] == i;
    }
  }
  generation_ = tables_.Generation();
  filled_ = true;
}

}  // namespace melodrift
