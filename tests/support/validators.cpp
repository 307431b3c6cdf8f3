#include "tests/support/validators.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>

namespace melodrift::testing {

namespace {

std::string ToolsDir() {
  return std::string(MELODRIFT_SHARED_DIR) + "/tools";
}

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

ValidatorResult Run(const std::string& command) {
  ValidatorResult result;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) result.output.append(buf.data(), n);
  int status = ::pclose(pipe);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace

std::string ValidatorsUnavailableReason() {
  namespace fs = std::filesystem;
  if (!fs::exists(ToolsDir() + "/check_mdx.pl") || !fs::exists(ToolsDir() + "/check_dbf.py"))
    return "independent validators not found in " + ToolsDir() +
           " (the shared folder beside the clone); skipping";
  if (Run("perl -MXBase -e 1").exit_code != 0)
    return "Perl XBase (libdbd-xbase-perl) is not installed; skipping";
  if (Run("/usr/bin/python3 -c 'import dbfread'").exit_code != 0)
    return "python3-dbfread is not installed; skipping";
  return "";
}

ValidatorResult CheckMdx(const std::string& dbf, const std::string& mdx, const std::string& tag) {
  return Run("perl " + Quote(ToolsDir() + "/check_mdx.pl") + " --quiet " + Quote(dbf) + " " +
             Quote(mdx) + " " + Quote(tag));
}

ValidatorResult DumpMdxOrder(const std::string& dbf, const std::string& mdx,
                             const std::string& tag) {
  return Run("perl " + Quote(ToolsDir() + "/check_mdx.pl") + " " + Quote(dbf) + " " + Quote(mdx) +
             " " + Quote(tag));
}

ValidatorResult CheckDbf(const std::string& dbf, bool oem) {
  return Run("/usr/bin/python3 " + Quote(ToolsDir() + "/check_dbf.py") + " --quiet " +
             (oem ? "--oem " : "") + Quote(dbf));
}

ValidatorResult DumpDbf(const std::string& dbf, bool oem) {
  return Run("/usr/bin/python3 " + Quote(ToolsDir() + "/check_dbf.py") + " " +
             (oem ? "--oem " : "") + Quote(dbf));
}

}  // namespace melodrift::testing
