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
  // A three-letter month name, a day and a year; an unknown month name counts as January.
  if (std::sscanf(date, "%3s %d %d", strMonth, &nDay, &nYear) == 3 && std::strlen(strMonth) == 3) {
    int nMonth = 1;
    for (int i = 0; i < 12; ++i) {
      if (std::strcmp(strMonth, kMonths[i]) == 0) {
        nMonth = i + 1;
      }
    }
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %s", nYear, nMonth, nDay, time);
    return buf;
  }
  std::snprintf(buf, sizeof buf, "%s %s", date, time);
  return buf;
}

} // namespace zt
