#include "console_text.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace zt::demo {

std::string askLine(std::istream &input, const char *pstrPrompt) {
  std::fputs(pstrPrompt, stdout);
  std::fflush(stdout);
  std::string strLine;
  if (!std::getline(input, strLine)) {
    return "";
  }
  if (!strLine.empty() && strLine.back() == '\r') {
    strLine.pop_back();
  }
  return strLine;
}

std::vector<std::string> splitWords(const std::string &strLine) {
  std::vector<std::string> vecWords;
  size_t nStart = 0;
  while (true) {
    size_t nSpace = strLine.find(' ', nStart);
    vecWords.push_back(strLine.substr(nStart, nSpace - nStart));
    if (nSpace == std::string::npos) {
      return vecWords;
    }
    nStart = nSpace + 1;
  }
}

int answerNumber(const std::string &strAnswer) {
  if (strAnswer.empty() || !std::isdigit(static_cast<unsigned char>(strAnswer[0]))) {
    return -1;
  }
  long nValue = std::strtol(strAnswer.c_str(), nullptr, 10);
  return nValue > INT_MAX ? INT_MAX : static_cast<int>(nValue);
}

} // namespace zt::demo
