#include "library/indexing_view.h"

#include <utility>

namespace melodrift {

namespace {
IndexingView* g_view = nullptr;
}

IndexingView* SetIndexingView(IndexingView* view) {
  return std::exchange(g_view, view);
}
IndexingView* CurrentIndexingView() {
  return g_view;
}

}  // namespace melodrift
