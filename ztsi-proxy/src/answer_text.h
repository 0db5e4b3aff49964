// What an answer's text means for its result code, on each side of the link.
#pragma once

#include <string>

namespace zt::proxy {

struct Answer {
  int nCode = 0;
  std::string strText;
};

// Client side: the response text a local device gave. A JSON object with an integer "code"
// gives that code and its "desc" as text; anything else is code 0 and the text unchanged.
Answer deviceAnswer(const std::string &strResponse);

// Server side: the code and data of an answer from the link. A data text that is a JSON
// object with an integer "code" gives that code and its "data"; anything else keeps the
// remote code and the text.
Answer linkAnswer(int nRemoteCode, const std::string &strData);

} // namespace zt::proxy
