// The error log: failures that concern one file or track are appended to the error table,
// which survives restarts. Main thread only; table failures are fatal table errors.
#pragma once

#include <string>

#include "library/tz_dbf.h"

namespace melodrift {

// Appends an entry: errndx = the number of rows the table held before, errmsg = the message
// (cut to 254 characters). The header's count is written at once: the file's track is stored
// next and never read again, so an entry lost to a killed process would be lost for good.
void WriteErrMsg(TTzDbf& ErrorDBF, const std::string& message);

}  // namespace melodrift
