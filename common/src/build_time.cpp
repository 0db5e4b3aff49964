#include "zt_common.h"

#include <cstdio>
#include <cstring>

namespace zt {

std::string buildTimeString(const char *pstrDate, const char *pstrTime) {
  static const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const char *date = pstrDate ? pstrDate : "";
  const char *time = pstrTime ? pstrTime : "";
  char strMonth[4] = {0};
  int nDay = 0;
  int nYear = 0;
  char buf[128];
  if (std::sscanf(date, "%3s %d %d", strMonth, &nDay, &nYear) == 3) {
    for (int i = 0; i < 12; ++i) {
      if (std::strcmp(strMonth, kMonths[i]) == 0 && nDay >= 1 && nDay <= 31) {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %s", nYear, i + 1, nDay, time);
        return buf;
      }
    }
  }
  std::snprintf(buf, sizeof buf, "%s %s", date, time);
  return buf;
}

} // namespace zt
