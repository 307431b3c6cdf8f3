// melodrift-cli: the library's commands from a shell.
#include <unistd.h>

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "app/cli_commands.h"
#include "app/program_folder.h"

int main(int argc, char** argv) {
  // A file size limit (ulimit -f) must fail the write ("Disk write error"), not kill the
  // process between two table writes.
  std::signal(SIGXFSZ, SIG_IGN);
  std::ios::sync_with_stdio(false);
  std::vector<std::string> args(argv + 1, argv + argc);
  const int status = melodrift::RunCli(args, melodrift::ProgramFolder(), std::cout, std::cerr,
                                       ::isatty(STDERR_FILENO) == 1);
  std::cout.flush();
  return status;
}
