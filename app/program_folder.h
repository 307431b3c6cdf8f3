// Where the program's files are: the folder of the running executable, ending in '/'.
#pragma once

#include <string>

namespace melodrift {

// The folder of /proc/self/exe with a trailing '/'. Never depends on the working directory.
std::string ProgramFolder();

}  // namespace melodrift
