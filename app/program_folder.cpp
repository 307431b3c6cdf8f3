#include "app/program_folder.h"

#include <unistd.h>

#include <vector>

namespace melodrift {

std::string ProgramFolder() {
  std::vector<char> buf(4096);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return "./";
    if (static_cast<size_t>(n) < buf.size()) {
      std::string path(buf.data(), static_cast<size_t>(n));
      return path.substr(0, path.find_last_of('/') + 1);
    }
    buf.resize(buf.size() * 2);
  }
}

}  // namespace melodrift
