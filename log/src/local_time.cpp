#include "local_time.h"

#include <cstdio>

namespace zt::log {

const LocalSecond &localSecond(std::time_t tSecond) {
  // Trivial thread-local data: nothing to destroy at thread exit, so lines written by other
  // thread-exit code still find it.
  thread_local bool t_bValid = false;
  thread_local std::time_t t_tSecond = 0;
  thread_local LocalSecond t_second;
  if (!t_bValid || tSecond != t_tSecond) {
    localtime_r(&tSecond, &t_second.tmLocal);
    const std::tm &tm = t_second.tmLocal;
    int nLength = snprintf(t_second.szText, sizeof t_second.szText, "%04d-%02d-%02d %02d:%02d:%02d",
                           tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    t_second.nTextLength = nLength > 0 ? static_cast<size_t>(nLength) : 0;
    t_tSecond = tSecond;
    t_bValid = true;
  }
  return t_second;
}

} // namespace zt::log
