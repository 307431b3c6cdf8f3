#include "tests/crash/library_verifier.h"

#include <algorithm>
#include <cmath>

#include "library/code_page.h"
#include "library/library_tables.h"

namespace melodrift::crash {

namespace {

// The listing's UTF-8 back to the ISO-8859-1 the tables hold.
std::string Utf8ToLatin1(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0xC0 && i + 1 < text.size()) {
      out.push_back(static_cast<char>(((c & 0x1F) << 6) | (text[++i] & 0x3F)));
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

// The index key as stored (code page 850), which the track index orders bytewise.
std::string StoredSortKey(const ListedTrack& t) {
  return AnsiToOem(SortKey(Utf8ToLatin1(t.artist), Utf8ToLatin1(t.song)));
}

std::string Describe(const ListedTrack& t) {
  return "track " + std::to_string(t.unique_id) + " (" + t.filepath + ")";
}

bool SameRow(const ListedTrack& a, const ListedTrack& b) {
  return a.unique_id == b.unique_id && a.seconds == b.seconds && a.artist == b.artist &&
         a.album == b.album && a.song == b.song && a.include == b.include &&
         a.filepath == b.filepath;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

}  // namespace

std::string SourceNameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dash = name.find('-');
  if (dash == std::string::npos || name.size() < 4 || name.substr(name.size() - 4) != ".mp3")
    return "";
  return name.substr(dash + 1, name.size() - 4 - dash - 1);
}

std::vector<std::string> VerifyLibrary(const Expectations& expected,
                                       const std::vector<ListedTrack>& listing,
                                       const StoredLibrary& stored) {
  std::vector<std::string> problems;
  auto fail = [&](std::string text) { problems.push_back(std::move(text)); };

  std::map<int32_t, const ListedTrack*> by_id;
  std::set<std::string> paths;
  for (size_t i = 0; i < listing.size(); ++i) {
    const ListedTrack& t = listing[i];
    if (!by_id.emplace(t.unique_id, &t).second) fail(Describe(t) + ": unique_id listed twice");
    if (!paths.insert(t.filepath).second) fail(Describe(t) + ": the file is stored twice");
    if (expected.files.count(t.filepath) == 0) fail(Describe(t) + ": no such file was imported");
    if (i > 0 && StoredSortKey(listing[i - 1]) > StoredSortKey(t))
      fail(Describe(t) + ": listed out of artist and song order");
  }
  for (const auto& [id, before] : expected.stored) {
    auto it = by_id.find(id);
    if (it == by_id.end()) {
      fail(Describe(before) + ": stored before the kill, missing now");
    } else if (!SameRow(before, *it->second)) {
      fail(Describe(before) + ": its row changed");
    }
  }

  LibraryAverage mean{};
  for (const ListedTrack& t : listing) {
    auto source = expected.sources->find(SourceNameOf(t.filepath));
    if (source == expected.sources->end()) {
      fail(Describe(t) + ": not a copy of a test file");
      continue;
    }
    const SourceFile& file = source->second;
    if (t.artist != file.artist || t.album != file.album || t.song != file.song ||
        t.seconds != file.seconds)
      fail(Describe(t) + ": tags or seconds differ from its file's");
    auto found = stored.features.find(t.unique_id);
    if (found == stored.features.end()) {
      fail(Describe(t) + ": not in the track index");
      continue;
    }
    if (found->second.rows != kFeatureColumns || !found->second.one_per_column) {
      fail(Describe(t) + ": the unique_id index finds " + std::to_string(found->second.rows) +
           " feature rows, not one per column");
    } else if (found->second.values != file.features) {
      fail(Describe(t) + ": feature values differ from its file's");
    }
    for (int c = 0; c < kFeatureColumns; ++c) mean[c] += file.features[c];
    if (!file.log_message.empty()) {
      const std::string message = Replace(file.log_message, "{path}", t.filepath);
      if (std::find(stored.error_messages.begin(), stored.error_messages.end(), message) ==
          stored.error_messages.end())
        fail(Describe(t) + ": the error log lacks \"" + message + "\"");
    }
  }
  if (stored.features.size() != listing.size())
    fail("the track index holds " + std::to_string(stored.features.size()) +
         " tracks, the listing " + std::to_string(listing.size()));

  // Stored averages are whole numbers; one built at this opening is exact.
  for (int c = 0; c < kFeatureColumns; ++c) {
    if (!listing.empty()) mean[c] /= static_cast<double>(listing.size());
    if (std::abs(stored.average[c] - mean[c]) > 0.5 + 1e-9) {
      fail("the average of column " + std::to_string(c) + " is " +
           std::to_string(stored.average[c]) + ", the stored features give " +
           std::to_string(mean[c]));
      break;
    }
  }
  return problems;
}

}  // namespace melodrift::crash
