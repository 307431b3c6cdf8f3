// melodrift-cli: the library's commands without windows, for scripts and for machines without
// a display. Works on the tables/ folder beside the program with the same exclusive lock as
// the window program, so the two never use the library at once.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace melodrift {

// Runs one command line (without the program name) on the library in
// `program_folder` + "tables/". Output goes to `out`, messages and the progress bar to `err`
// (a bar only when `err_is_terminal`). Returns the exit status: 0 done, 1 failed or
// cancelled, 2 bad arguments (after the usage text), else the 8 bits of a fatal table error's
// code (32: the library is in use).
int RunCli(const std::vector<std::string>& args, const std::string& program_folder,
           std::ostream& out, std::ostream& err, bool err_is_terminal);

// The usage text.
std::string CliUsage();

}  // namespace melodrift
