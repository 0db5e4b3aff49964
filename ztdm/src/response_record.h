// The description of one response handed to the response publisher.
#pragma once

#include <string>

namespace zt::dm {

struct ResponseRecord {
  int nCode;            // result code
  int nCmd;             // command code of the request
  std::string strDevId; // addressed device
  const char *pData;    // desc bytes, may be null
  int nLength;          // number of desc bytes
};

} // namespace zt::dm
