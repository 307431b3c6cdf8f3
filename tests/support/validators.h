// The independent readers of our files (Perl XBase and python dbfread), found in the shared
// tools folder beside the clone. A test that needs them calls SkipUnlessValidators() first: on
// a machine without that folder or without the readers it is skipped with a clear message.
#pragma once

#include <string>

namespace melodrift::testing {

struct ValidatorResult {
  int exit_code = -1;
  std::string output;  // standard output and standard error together
};

// Empty when the validators can run; else why not.
std::string ValidatorsUnavailableReason();

// perl check_mdx.pl --quiet DBF MDX TAG
ValidatorResult CheckMdx(const std::string& dbf, const std::string& mdx, const std::string& tag);
// python3 check_dbf.py --quiet [--oem] DBF
ValidatorResult CheckDbf(const std::string& dbf, bool oem = true);
// python3 check_dbf.py DBF (the dump of every record, for comparing contents)
ValidatorResult DumpDbf(const std::string& dbf, bool oem = true);
// perl check_mdx.pl DBF MDX TAG, without --quiet: the records in the order XBase reads them
ValidatorResult DumpMdxOrder(const std::string& dbf, const std::string& mdx,
                             const std::string& tag);

}  // namespace melodrift::testing

#define SKIP_UNLESS_VALIDATORS()                                               \
  do {                                                                         \
    std::string reason_ = ::melodrift::testing::ValidatorsUnavailableReason(); \
    if (!reason_.empty()) GTEST_SKIP() << reason_;                             \
  } while (0)
