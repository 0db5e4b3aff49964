// Found devices and their registry, and the receive path's topic checks.
#include "channel.h"
#include "command_code.h"
#include "found_device.h"
#include "ztsi_dmc.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include <cstring>
#include <string>
#include <vector>

namespace {

using zt::si::FoundDevice;
using zt::si::ZtsiDmc;

DeviceInfo makeInfo(const char *pstrId, const char *pstrPid, int nVdt, const char *pstrName,
                    const char *pstrDesc) {
  DeviceInfo info;
  memset(&info, 0, sizeof(info));
  strncpy(info.id, pstrId, sizeof(info.id));
  strncpy(info.pid, pstrPid, sizeof(info.pid));
  strncpy(info.name, pstrName, sizeof(info.name));
  strncpy(info.desc, pstrDesc, sizeof(info.desc));
  strncpy(info.model, "M-1", sizeof(info.model));
  info.vdt = nVdt;
  info.type = 3;
  return info;
}

TEST(FoundDevice, KeepsFullWidthFieldsAndGivesAnEmptyPidTheRootValue) {
  DeviceInfo info = makeInfo("D1", "", 16, "gate", "first");
  memset(info.name, 'n', sizeof(info.name)); // no terminator
  zt::si::FoundDevice device = FoundDevice::fromDeviceInfo(info, "ztsi");
  EXPECT_EQ(device.ownerKey(), "ztsi");
  EXPECT_EQ(device.pid(), "0");
  EXPECT_EQ(device.m_nVdt, 16);

  DeviceInfo back = device.toDeviceInfo("D1");
  EXPECT_EQ(memcmp(back.name, info.name, sizeof(info.name)), 0);
  EXPECT_STREQ(back.id, "D1");
  EXPECT_STREQ(back.model, "M-1");
  EXPECT_STREQ(back.pid, "0");
  EXPECT_EQ(back.type, 3);
}

TEST(ZtsiDmc, ALaterAnnouncementKeepsDescAndModel) {
  zt::si::ZtsiDmc dmc(0);
  EXPECT_TRUE(dmc.snapshot().empty());
  dmc.addDevice(FoundDevice::fromDeviceInfo(makeInfo("D1", "0", 16, "first name", "first desc"), "ztsi"));
  DeviceInfo second = makeInfo("D1", "P", 17, "second name", "second desc");
  strncpy(second.model, "M-2", sizeof(second.model));
  dmc.addDevice(FoundDevice::fromDeviceInfo(second, "ztsi"));
  dmc.addDevice(FoundDevice::fromDeviceInfo(makeInfo("D2", "0", 1, "no owner", ""), ""));

  auto mapDevices = dmc.snapshot();
  ASSERT_EQ(mapDevices.size(), 1u) << "one entry per id; nothing without owner key";
  DeviceInfo info = mapDevices.at("D1").toDeviceInfo("D1");
  EXPECT_STREQ(info.name, "second name");
  EXPECT_STREQ(info.pid, "P");
  EXPECT_EQ(info.vdt, 17);
  EXPECT_STREQ(info.desc, "first desc");
  EXPECT_STREQ(info.model, "M-1");
  EXPECT_TRUE(dmc.findDevice("D1"));
  EXPECT_FALSE(dmc.findDevice("D2"));
}

struct Received {
  std::string strDevId;
  int nSn;
  int nCmd;
  std::string strData;
};

void recordMessage(const std::string &strDevId, int nSn, int nCmd, const char *pData, int nLen,
                   void *pContext) {
  static_cast<std::vector<Received> *>(pContext)->push_back(
      Received{strDevId, nSn, nCmd, std::string(pData, nLen)});
}

TEST(ChannelReceive, PassesOnlyWellFormedTopicsWithKnownCommands) {
  zt::si::ZtsiDmc dmc(0);
  zt::si::Channel channel(dmc);
  std::vector<Received> vecReceived;
  channel.handleMessage("ZTDM/UP/DEV/0/16/D1/GetParam", "{}", 2, 5); // no handler yet: dropped
  channel.setRecvCallback(&recordMessage, &vecReceived);

  for (const char *pstrBad :
       {"ZTDM/UP/DEV/0/16/D1/GetParam/x", "ZTDX/UP/DEV/0/16/D1/GetParam", "ZTDM/UP/DEV//16/D1/GetParam",
        "ZTDM/UP/DEV/0/16/D1/", "ZTDM/UP/DEV/0/16/D1", "ZTDM/UP/DEV/0/16/D1/Reboot", "", "/////////"}) {
    channel.handleMessage(pstrBad, "{}", 2, 1);
  }
  channel.handleMessage(nullptr, "{}", 2, 1);
  EXPECT_TRUE(vecReceived.empty());

  channel.handleMessage("ZTDM/UP/DEV-TEST/0/16/D1/QryRunModel", "{\"runmodel\":0}", 14, 42);
  ASSERT_EQ(vecReceived.size(), 1u);
  EXPECT_EQ(vecReceived[0].strDevId, "D1");
  EXPECT_EQ(vecReceived[0].nSn, 42);
  EXPECT_EQ(vecReceived[0].nCmd, zt::protocol::kCmdQryRunModel);
  EXPECT_EQ(vecReceived[0].strData, "{\"runmodel\":0}");
}

void throwFromHandler(const std::string &, int, int, const char *, int, void *) {
  throw std::runtime_error("handler failed");
}

TEST(ChannelReceive, NothingThrownBeneathReachesBusline) {
  zt::si::ZtsiDmc dmc(0);
  zt::si::Channel channel(dmc);
  channel.setRecvCallback(&throwFromHandler, nullptr);
  const char szBody[] = "{}";
  EXPECT_NO_THROW(
      zt::si::Channel::onMessage("ZTDM/UP/DEV/0/16/D1/GetParam", szBody, 2, 1, 0, 5, 3, "", &channel));
}

} // namespace
