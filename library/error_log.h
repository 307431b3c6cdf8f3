// The error log: failures that concern one file or track are appended to the error table,
// which survives restarts. Main thread only; table failures are fatal table errors.
#pragma once

#include <string>

#include "library/tz_dbf.h"

namespace melodrift {

// Appends an entry: errndx = the number of rows the table held before, errmsg = the message
// (cut to 254 characters). The table's header is brought up to date at Close.
void WriteErrMsg(TTzDbf& ErrorDBF, const std::string& message);

}  // namespace melodrift
