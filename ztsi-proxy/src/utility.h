// Reading a whole file and parsing JSON text, with one ERROR line for each failure.
#pragma once

#include <json/json.h>

#include <string>

namespace zt::proxy {

// Reads the file whole into strText; false (text unchanged) when it cannot be opened.
bool loadFileContent(const std::string &strFilePath, std::string &strText);

// Parses with the JSON reader's default settings; false when the text is not JSON.
bool jsonStringToObject(const std::string &strText, Json::Value &value);
// The same without the ERROR line, for texts that need not be JSON; the reader's messages go
// to pstrError when given.
bool tryParseJson(const std::string &strText, Json::Value &value, std::string *pstrError = nullptr);

} // namespace zt::proxy
