// A fresh folder under the system's temporary folder, removed with everything in it.
#pragma once

#include <string>

namespace melodrift::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

// Whole file as bytes ("" when it cannot be read).
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
long long FileSize(const std::string& path);  // -1 when missing

}  // namespace melodrift::testing
