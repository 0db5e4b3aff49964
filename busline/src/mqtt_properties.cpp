#include "mqtt_properties.h"

#include <cstdlib>
#include <cstring>
#include <mqtt_protocol.h>

#include "busline_log.h"

namespace zt::bus {

int addUserProperty(mosquitto_property **ppProps, const char *pstrName, const std::string &strValue) {
  return mosquitto_property_add_string_pair(ppProps, MQTT_PROP_USER_PROPERTY, pstrName, strValue.c_str());
}

int addUserProperty(mosquitto_property **ppProps, const char *pstrName, int64_t nValue) {
  return addUserProperty(ppProps, pstrName, std::to_string(nValue));
}

namespace {

// The slot of a user property name busline reads, or null for any other name.
LibraryText *slotFor(MessageProperties &props, const char *pstrName) {
  if (std::strcmp(pstrName, "SN") == 0) {
    return &props.pstrSN;
  }
  if (std::strcmp(pstrName, "TYPE") == 0) {
    return &props.pstrType;
  }
  if (std::strcmp(pstrName, "RESPONSETOPIC") == 0) {
    return &props.pstrResponseTopic;
  }
  if (std::strcmp(pstrName, "SOURCEIPLIST") == 0) {
    return &props.pstrIpList;
  }
  return nullptr;
}

} // namespace

void readMessageProperties(const mosquitto_property *pProps, MessageProperties &props) {
  for (const mosquitto_property *pProp = pProps; pProp != nullptr; pProp = mosquitto_property_next(pProp)) {
    if (mosquitto_property_identifier(pProp) != MQTT_PROP_USER_PROPERTY) {
      continue;
    }
    // The library hands out copies only: the name first, the value only when it is kept.
    char *pstrName = nullptr;
    mosquitto_property_read_string_pair(pProp, MQTT_PROP_USER_PROPERTY, &pstrName, nullptr, false);
    LibraryText name(pstrName);
    LibraryText *pSlot = name ? slotFor(props, name.get()) : nullptr;
    if (pSlot != nullptr && !*pSlot) {
      char *pstrValue = nullptr;
      mosquitto_property_read_string_pair(pProp, MQTT_PROP_USER_PROPERTY, nullptr, &pstrValue, false);
      pSlot->reset(pstrValue);
    }
  }
}

int64_t propertyNumber(const char *pstrValue) {
  return std::strtoll(pstrValue, nullptr, 10);
}

mosquitto_property *buildMessageProperties(const char *pstrOperation, uint32_t uSN, int32_t nType,
                                           const char *pstrResponseTopic, const std::string &strIpList) {
  mosquitto_property *pProps = nullptr;
  auto check = [&](const char *pstrName, int nRet) {
    if (nRet != MOSQ_ERR_SUCCESS) {
      BUSLINE_LOG(zt::log::LOG_ERROR, "%s,setProperty(%s) fail,nRet=%d,%s", pstrOperation, pstrName, nRet,
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

} // namespace zt::bus
