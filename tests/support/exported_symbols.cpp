#include "exported_symbols.h"

#include <cstdio>

namespace zt::test {

std::set<std::string> exportedSymbols(const std::string &strLibraryPath) {
  std::string strCommand = "nm -D --defined-only '" + strLibraryPath + "'";
  FILE *pPipe = popen(strCommand.c_str(), "r");
  if (pPipe == nullptr) {
    return {};
  }
  std::set<std::string> setSymbols;
  char szAddress[64], szType[8], szName[512];
  while (std::fscanf(pPipe, "%63s %7s %511s", szAddress, szType, szName) == 3) {
    setSymbols.insert(szName);
  }
  return pclose(pPipe) == 0 ? setSymbols : std::set<std::string>{};
}

} // namespace zt::test
