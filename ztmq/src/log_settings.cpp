#include "log_settings.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>

namespace zt::mq {

namespace {

constexpr size_t kMaxLineLength = 1023;

bool isSpace(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

void skipSpace(const std::string &strLine, size_t &nPos) {
  while (nPos < strLine.size() && isSpace(strLine[nPos])) {
    ++nPos;
  }
}

int levelOf(const std::string &strWord) {
  static const struct {
    const char *pstrWord;
    int nLevel;
  } kLevels[] = {{"debug", 7}, {"info", 6}, {"warn", 4}, {"error", 3}, {"fatal", 0}};
  for (const auto &level : kLevels) {
    if (strWord == level.pstrWord) {
      return level.nLevel;
    }
  }
  return 0;
}

} // namespace

void parseConfigLine(const std::string &strRaw, const std::string &strFileName, LogSettings &settings) {
  // A byte of 0x80 or more ends what is read of the line.
  std::string strLine = strRaw.substr(0, kMaxLineLength);
  for (size_t i = 0; i < strLine.size(); ++i) {
    if (static_cast<unsigned char>(strLine[i]) >= 0x80) {
      strLine.resize(i);
      break;
    }
  }
  size_t nPos = 0;
  skipSpace(strLine, nPos);
  size_t nKeyStart = nPos;
  while (nPos < strLine.size() && !isSpace(strLine[nPos]) && strLine[nPos] != '=') {
    ++nPos;
  }
  std::string strKey = strLine.substr(nKeyStart, nPos - nKeyStart);
  if (strKey.empty()) {
    return;
  }
  skipSpace(strLine, nPos);
  if (nPos < strLine.size() && strLine[nPos] == '=') {
    ++nPos;
  }
  skipSpace(strLine, nPos);
  size_t nValueStart = nPos;
  while (nPos < strLine.size() && !isSpace(strLine[nPos])) {
    ++nPos;
  }
  std::string strValue = strLine.substr(nValueStart, nPos - nValueStart);

  if (strKey == "path") {
    if (!strValue.empty()) {
      settings.strDir = strValue;
    }
  } else if (strKey == "level") {
    settings.nLevel = levelOf(strValue);
  } else if (strKey == "maxSize") {
    // A size that is not a positive decimal number leaves the default.
    uint32_t uMiB = 0;
    for (char c : strValue) {
      if (c < '0' || c > '9') {
        return;
      }
      uMiB = std::min<uint32_t>(uMiB * 10 + uint32_t(c - '0'), kMaxLogSizeMiB);
    }
    if (uMiB > 0) {
      settings.uMaxSizeMiB = uMiB;
    }
  } else {
    std::printf("parseConfigLine filename=%s| unknown key=%s\n", strFileName.c_str(), strRaw.c_str());
  }
}

LogSettings readLogSettings(const std::string &strDir) {
  LogSettings settings;
  settings.strDir = strDir;
  std::string strFileName = strDir + "/ztmq.cfg";
  std::ifstream file(strFileName);
  if (!file) {
    std::printf("open config failed filename=%s\n", strFileName.c_str());
    return settings;
  }
  std::string strLine;
  while (std::getline(file, strLine)) {
    parseConfigLine(strLine, strFileName, settings);
  }
  return settings;
}

} // namespace zt::mq
