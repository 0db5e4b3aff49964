// One application-side instance: its broker channel, the found-device registry, the requests that
// wait for answers, the report callbacks and the announced test cases.
#pragma once

#include "callback_gate.h"
#include "channel.h"
#include "sn_counter.h"
#include "ztsi.h"
#include "ztsi_callback.h"
#include "ztsi_dmc.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace zt::si {

class ZtdaImpl {
public:
  // The owner key of every device and of the one ZtsiCallback in use.
  static constexpr char kOwnerKey[] = "ztsi";

  explicit ZtdaImpl(int nRunModel, ZtsiTiming timing = ZtsiTiming());
  // Stops answer delivery, closes the session, then frees the registries. Call through destroy()
  // when callbacks may run.
  ~ZtdaImpl();
  ZtdaImpl(const ZtdaImpl &) = delete;
  ZtdaImpl &operator=(const ZtdaImpl &) = delete;

  // Frees the instance from any thread, one of its own callbacks included: no callback starts once it
  // is called, and none runs on another thread once it returns. Called inside a callback, the
  // teardown ends on a thread of its own after that callback has returned.
  static void destroy(ZtdaImpl *pImpl);
  // How many instances exist, those still being torn down included.
  static int liveInstances() { return s_nLiveInstances; }

  // Opens the session to "a.b.c.d:port" and subscribes the announcements; 0 or -1.
  int init(const char *pstrAddress, ztsi_found_device_callback pFoundCallback, void *pUserData);

  // Requests: 0 sent, 1 not sent. nSn 0 draws a fresh sn.
  int setParam(const std::string &strDevId, int nSn, const char *pData, int nLen,
               ztsi_data_callback pCallback);
  int getParam(const std::string &strDevId, int nSn, ztsi_data_callback pCallback);
  int ctrl(const std::string &strDevId, int nSn, const char *pData, int nLen, ztsi_data_callback pCallback);
  int qryStatus(const std::string &strDevId, int nSn, ztsi_data_callback pCallback);
  int setDeviceModel(const std::string &strDevId, int nSn, int nRunModel, ztsi_data_callback pCallback);
  int qryDeviceModel(const std::string &strDevId, int nSn, ztsi_data_callback pCallback);
  int findDevices(const std::string &strDevId, int nSn);
  // Replays the found devices to pCallback, or sends a discovery when there are none.
  int getFoundDev(ztsi_found_device_callback pCallback);
  // The JSON text of the valid test cases; valid until the next call.
  const char *getTestCase(int *pnLen);

  void setStatusCallback(ztsi_data_callback pCallback) { m_pStatusCallback = pCallback; }
  void setDataCallback(ztsi_data_callback pCallback) { m_pDataCallback = pCallback; }
  void setEventCallback(ztsi_data_callback pCallback) { m_pEventCallback = pCallback; }

  // How many subscriptions the session has handed to busline.
  size_t subscriptionCount() const { return m_pChannel ? m_pChannel->subscriptionCount() : 0; }

  // The session, whose receive callback the fuzz harness drives as busline would.
  Channel &channel() { return *m_pChannel; }

  // The message handler of the channel: announcements, reports, test cases and answers.
  void handleMessage(const std::string &strDevId, int nSn, int nCmd, const char *pData, int nLen);

private:
  static void onChannelMessage(const std::string &strDevId, int nSn, int nCmd, const char *pData, int nLen,
                               void *pContext);
  int request(const char *pstrMethod, int nCmd, const std::string &strDevId, int nSn, const char *pData,
              int nLen, ztsi_data_callback pCallback);
  void subscribeLogged(const std::string &strTopic);
  // Subscribes what a device without parent and its children send up.
  void subscribeParent(const std::string &strId);
  void handleAnnouncement(const std::string &strDevId, int nSn, const char *pData, int nLen);
  void handleReport(const std::string &strDevId, int nSn, int nCmd, const char *pData, int nLen);
  void handleTestCase(const std::string &strVdt, int nSn, int nCmd, const char *pData, int nLen);
  void handleResponse(const std::string &strDevId, int nSn, int nCmd, const char *pData, int nLen);
  ZtsiCallback &callbackFor(const std::string &strOwnerKey);
  ZtsiCallback *findCallback(const std::string &strOwnerKey);

  static std::atomic<int> s_nLiveInstances;

  // First, so that it outlives every thread that uses it.
  CallbackGate m_gate;
  const int m_nRunModel;
  const ZtsiTiming m_timing;
  bool m_bInited = false;
  ztsi_found_device_callback m_pFoundCallback = nullptr;
  void *m_pUserData = nullptr;
  std::atomic<ztsi_data_callback> m_pStatusCallback{nullptr};
  std::atomic<ztsi_data_callback> m_pDataCallback{nullptr};
  std::atomic<ztsi_data_callback> m_pEventCallback{nullptr};
  protocol::SnCounter m_snCounter;

  std::mutex m_mutexCallbacks;
  std::map<std::string, std::unique_ptr<ZtsiCallback>> m_mapCallbacks;

  std::mutex m_mutexTestCases;
  std::map<std::string, std::string> m_mapTestCases;
  std::string m_strTestCaseText;

  std::unique_ptr<ZtsiDmc> m_pDmc;
  std::unique_ptr<Channel> m_pChannel;
};

} // namespace zt::si
