#include "mqtt_properties.h"

#include <cstdlib>
#include <cstring>
#include <mqtt_protocol.h>

#include "busline_log.h"

namespace busline {

int addUserProperty(mosquitto_property **ppProps, const char *pstrName, const std::string &strValue) {
  return mosquitto_property_add_string_pair(ppProps, MQTT_PROP_USER_PROPERTY, pstrName, strValue.c_str());
}

int addUserProperty(mosquitto_property **ppProps, const char *pstrName, int64_t nValue) {
  return addUserProperty(ppProps, pstrName, std::to_string(nValue));
}

bool findUserProperty(const mosquitto_property *pProps, const char *pstrName, std::string &strValue) {
  bool bSkipFirst = false;
  const mosquitto_property *pProp = pProps;
  while (pProp != nullptr) {
    char *pstrKey = nullptr;
    char *pstrValue = nullptr;
    pProp =
        mosquitto_property_read_string_pair(pProp, MQTT_PROP_USER_PROPERTY, &pstrKey, &pstrValue, bSkipFirst);
    bSkipFirst = true;
    bool bFound = pProp != nullptr && std::strcmp(pstrKey, pstrName) == 0;
    if (bFound) {
      strValue = pstrValue;
    }
    std::free(pstrKey);
    std::free(pstrValue);
    if (bFound) {
      return true;
    }
  }
  return false;
}

bool findUserProperty(const mosquitto_property *pProps, const char *pstrName, int64_t &nValue) {
  std::string strValue;
  if (!findUserProperty(pProps, pstrName, strValue)) {
    return false;
  }
  nValue = std::strtoll(strValue.c_str(), nullptr, 10);
  return true;
}

mosquitto_property *buildMessageProperties(const char *pstrOperation, uint32_t uSN, int32_t nType,
                                           const char *pstrResponseTopic, const std::string &strIpList) {
  mosquitto_property *pProps = nullptr;
  auto check = [&](const char *pstrName, int nRet) {
    if (nRet != MOSQ_ERR_SUCCESS) {
      BUSLINE_LOG(zt::LOG_ERROR, "%s,setProperty(%s) fail,nRet=%d,%s", pstrOperation, pstrName, nRet,
                  mosquitto_strerror(nRet));
    }
  };
  check("SN", addUserProperty(&pProps, "SN", int64_t(uSN)));
  check("TYPE", addUserProperty(&pProps, "TYPE", int64_t(nType)));
  if (pstrResponseTopic != nullptr && pstrResponseTopic[0] != '\0') {
    check("RESPONSETOPIC", addUserProperty(&pProps, "RESPONSETOPIC", std::string(pstrResponseTopic)));
  }
  if (!strIpList.empty()) {
    check("SOURCEIPLIST", addUserProperty(&pProps, "SOURCEIPLIST", strIpList));
  }
  return pProps;
}

} // namespace busline
