#include "library/error_log.h"

namespace melodrift {

void WriteErrMsg(TTzDbf& ErrorDBF, const std::string& message) {
  const int64_t n = ErrorDBF.RecCount();
  ErrorDBF.ALock();
  ErrorDBF.ClearRecord();
  ErrorDBF.SetFieldInt("errndx", n);
  ErrorDBF.SetFieldText("errmsg", message);
  ErrorDBF.AppendRec();
  ErrorDBF.FlushDbf();
  ErrorDBF.UnLock();
}

}  // namespace melodrift
