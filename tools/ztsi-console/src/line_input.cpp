#include "line_input.h"

namespace zt::console {

std::optional<std::string> readLine(std::FILE *pFile, size_t nMaxChars) {
  std::string strLine;
  int nChar = std::fgetc(pFile);
  if (nChar == EOF) {
    return std::nullopt;
  }
  for (; nChar != EOF && nChar != '\n'; nChar = std::fgetc(pFile)) {
    if (strLine.size() < nMaxChars) {
      strLine.push_back(static_cast<char>(nChar));
    }
  }
  if (!strLine.empty() && strLine.back() == '\r') {
    strLine.pop_back();
  }
  return strLine;
}

} // namespace zt::console
