// A check of a library's files that changes nothing: the four tables read as they are on
// disk, the two index files opened without rebuilding, and the invariants that tie them
// together. Used by `melodrift-cli check`.
#pragma once

#include <string>
#include <vector>

namespace melodrift {

struct LibraryCheckReport {
  std::vector<std::string> failures;  // broken invariants
  std::vector<std::string> notes;     // states the program repairs or ignores at its next start
  bool ok() const { return failures.empty(); }
};

// Checks the library in `tables_folder` (ending in '/'). Takes the tables' exclusive locks
// for the time of the check: while another process has the library open this is a fatal
// table error (32). Other fatal table errors (a file that is not a table) become failures.
LibraryCheckReport CheckLibrary(const std::string& tables_folder);

}  // namespace melodrift
