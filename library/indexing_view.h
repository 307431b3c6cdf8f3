// What the user sees while an index file is built: a small window captioned
// "Indexing <index path>..." with a row of '|' characters. The window lives in the shell; the
// table layer talks to it through this interface.
#pragma once

#include <string>

namespace melodrift {

class IndexingView {
 public:
  virtual ~IndexingView() = default;
  virtual void BeginIndexing(const std::string& caption) = 0;
  virtual void ShowIndexingBar(const std::string& bar) = 0;
  virtual void EndIndexing() = 0;
};

// The view that index builds report to (process-wide; null shows nothing). Returns the
// previous one. The caller keeps ownership.
IndexingView* SetIndexingView(IndexingView* view);
IndexingView* CurrentIndexingView();

// The row of '|' characters: 100 at the start, one fewer at each step, 100 again after 0.
class IndexingBar {
 public:
  static constexpr int kFull = 100;
  std::string Text() const { return std::string(static_cast<size_t>(length_), '|'); }
  void Step() { length_ = length_ == 0 ? kFull : length_ - 1; }
  int length() const { return length_; }

 private:
  int length_ = kFull;
};

}  // namespace melodrift
