#include "answer_text.h"

#include "utility.h"

namespace zt::proxy {
namespace {

// A text member as it stands; another value as its compact JSON text; nothing as "".
std::string memberText(const Json::Value &member) {
  if (member.isString())
    return member.asString();
  if (member.isNull())
    return std::string();
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, member);
}

// An answer object: a JSON object whose "code" is an integer. Numbers, arrays, "true" and
// texts that merely parse as JSON are plain text.
bool answerObject(const std::string &strText, Json::Value &object) {
  return tryParseJson(strText, object) && object.isObject() && object["code"].isInt() &&
         !object["code"].isBool();
}

Answer extract(int nDefaultCode, const std::string &strText, const char *pstrTextMember) {
  Json::Value object;
  if (!answerObject(strText, object))
    return Answer{nDefaultCode, strText};
  return Answer{object["code"].asInt(), memberText(object[pstrTextMember])};
}

} // namespace

Answer deviceAnswer(const std::string &strResponse) { return extract(0, strResponse, "desc"); }

Answer linkAnswer(int nRemoteCode, const std::string &strData) { return extract(nRemoteCode, strData, "data"); }

} // namespace zt::proxy
