#include "app/cli_import_view.h"

#include "library/error_log.h"
#include "library/table_dump.h"

namespace melodrift {

namespace {

constexpr int kBarWidth = 24;
constexpr size_t kLineWidth = 79;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

}  // namespace

void CliImportView::SetLabel(int label, const std::string& text) {
  if (label >= 1 && label <= 3) labels_[label - 1] = text;
  Draw(false);
}

void CliImportView::SetProgress(int position) {
  position_ = position < 0 ? 0 : position > 512 ? 512 : position;
  Draw(false);
}

void CliImportView::Repaint() {
  Draw(false);
}

void CliImportView::ShowProgressWindow() {
  shown_ = true;
  Draw(true);
}

void CliImportView::HideProgressWindow() {
  ClearLine();
  shown_ = false;
}

void CliImportView::ShowFileCount(const std::string& text) {
  file_count_ = text;
  Draw(false);
}

void CliImportView::ReportFailure(const std::string& status_text, const std::string& log_message) {
  ClearLine();
  err_ << EscapeField(status_text) << '\n';
  WriteErrMsg(error_table_, log_message);
  ++failures_;
  Draw(true);
}

void CliImportView::ShowError(const std::string& text) {
  ClearLine();
  err_ << "melodrift-cli: " << EscapeField(text) << '\n';
}

std::string CliImportView::BarLine() const {
  const int filled = position_ * kBarWidth / 512;
  std::string line = "[";
  line.append(static_cast<size_t>(filled), '#');
  line.append(static_cast<size_t>(kBarWidth - filled), '-');
  line += ']';
  if (!file_count_.empty()) {
    line += ' ';
    line += file_count_;
  }
  for (const std::string& label : labels_) {
    if (label.empty()) continue;
    line += "  ";
    line += label;
  }
  line = EscapeField(line);
  if (line.size() > kLineWidth) line.resize(kLineWidth);
  return Latin1ToUtf8(line);
}

void CliImportView::Draw(bool force) {
  if (!terminal_ || !shown_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && drawn_ && now - last_draw_ < kRedrawInterval) return;
  last_draw_ = now;
  err_ << "\r\x1b[K" << BarLine() << std::flush;
  drawn_ = true;
}

void CliImportView::ClearLine() {
  if (!drawn_) return;
  err_ << "\r\x1b[K" << std::flush;
  drawn_ = false;
}

}  // namespace melodrift
