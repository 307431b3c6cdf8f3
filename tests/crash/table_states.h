// The half-written states a killed process can leave in a library's folder, read from the
// raw file bytes without opening anything as a table (nothing is written, no lock is taken).
#pragma once

#include <set>
#include <string>

namespace melodrift::crash {

// One text per state found in `program_folder` (ending in '/'), e.g. "feature table: rows
// beyond the header count". Empty for a library closed cleanly.
std::set<std::string> FindHalfWrittenStates(const std::string& program_folder);

}  // namespace melodrift::crash
