#include "library/mdx_layout.h"

#include <ctime>

namespace melodrift::mdx {

void PutToday(uint8_t* p) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  p[0] = static_cast<uint8_t>(local.tm_year);
  p[1] = static_cast<uint8_t>(local.tm_mon + 1);
  p[2] = static_cast<uint8_t>(local.tm_mday);
}

}  // namespace melodrift::mdx
