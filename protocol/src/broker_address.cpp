#include "broker_address.h"

#include <cctype>

namespace zt::protocol {

namespace {

// A decimal number of 1 to nMaxDigits digits, not above nMax.
bool parseDecimal(const std::string &strText, size_t nMaxDigits, unsigned long nMax, unsigned long &nValue) {
  if (strText.empty() || strText.size() > nMaxDigits) {
    return false;
  }
  nValue = 0;
  for (char c : strText) {
    if (!std::isdigit(static_cast<unsigned char>(c))) {
      return false;
    }
    nValue = nValue * 10 + static_cast<unsigned long>(c - '0');
  }
  return nValue <= nMax;
}

bool isDottedIpv4(const std::string &strHost) {
  size_t nStart = 0;
  for (int nPart = 0; nPart < 4; ++nPart) {
    size_t nDot = strHost.find('.', nStart);
    if ((nPart < 3) == (nDot == std::string::npos)) {
      return false;
    }
    std::string strPart = strHost.substr(nStart, nPart < 3 ? nDot - nStart : std::string::npos);
    unsigned long nValue = 0;
    if (!parseDecimal(strPart, 3, 255, nValue)) {
      return false;
    }
    nStart = nDot + 1;
  }
  return true;
}

} // namespace

bool parseBrokerAddress(const char *pstrAddress, BrokerAddress &address, std::string *pstrProblem) {
  auto fail = [&](const std::string &strWhy) {
    if (pstrProblem != nullptr) {
      *pstrProblem = strWhy;
    }
    return false;
  };
  const std::string strExpected = " (expected a.b.c.d:port, a dotted IPv4 address and a port of 1 to 65535)";
  if (pstrAddress == nullptr) {
    return fail("no broker address given" + strExpected);
  }
  std::string strAddress(pstrAddress);
  size_t nColon = strAddress.find(':');
  if (nColon == std::string::npos) {
    return fail("broker address \"" + strAddress + "\" has no port" + strExpected);
  }
  std::string strHost = strAddress.substr(0, nColon);
  if (!isDottedIpv4(strHost)) {
    bool bNumeric = !strHost.empty() && strHost.find_first_not_of("0123456789.") == std::string::npos;
    return fail("broker address \"" + strAddress + "\" does not start with a dotted IPv4 address" +
                (bNumeric ? "; each of its four numbers is 0 to 255" : "; host names are not resolved") +
                strExpected);
  }
  unsigned long nPort = 0;
  if (!parseDecimal(strAddress.substr(nColon + 1), 5, 65535, nPort) || nPort == 0) {
    return fail("broker address \"" + strAddress + "\" has no valid port" + strExpected);
  }
  address.strHost = strHost;
  address.uPort = static_cast<uint16_t>(nPort);
  return true;
}

} // namespace zt::protocol
