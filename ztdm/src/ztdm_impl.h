// One device-side instance: the registries, the broker channel, the timer object and the
// request processing that calls the driver's entry points on the instance's request threads and
// answers on the broker.
#pragma once

#include "channel.h"
#include "driver_manager.h"
#include "callback_gate.h"
#include "instance_options.h"
#include "request_queue.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace zt::dm {

class ZTDMImpl {
public:
  // Null when the address is not "a.b.c.d:port" or the channel cannot be opened.
  static ZTDMImpl *create(const char *pstrAddress, const InstanceOptions &options = InstanceOptions());
  // Callable from any thread, also from inside an entry point: no entry point starts once this
  // is called (queued requests are dropped), and those running on other threads are waited for.
  // From inside an entry point (on a request thread, which teardown joins) the instance is freed
  // on a thread of its own once that entry point has returned.
  static void destroy(ZTDMImpl *pImpl);
  // Instances not yet freed, in this process.
  static int liveInstances() { return s_nLiveInstances; }
  ZTDMImpl(const ZTDMImpl &) = delete;
  ZTDMImpl &operator=(const ZTDMImpl &) = delete;

  void registerDriver(int nVdt, const DriverCallbacks &callbacks);
  void registerDevice(const DeviceInfo &device);
  // Reports (commands 6 to 8) of a registered device; false when not published.
  bool report(const std::string &strDevId, int nCmd, int nSn, const char *pData, int nLength);
  // Stores the test case of a vdt and announces it; false when not published.
  bool regTestCase(int nVdt, const char *pData, int nLength);

  int runModel() const { return m_pDriverManager->runModel(); }
  // 0 once the broker accepted the session; -1 before busline reported, 1 when disconnected.
  int connectState() const { return m_pChannel->connectState(); }
  // The broker channel, whose receive callback delivers the requests.
  Channel &channel() { return *m_pChannel; }
  // Returns once every request delivered so far has been handled.
  void waitUntilRequestsHandled() { m_pRequestQueue->waitUntilIdle(); }

private:
  // One request as the handlers see it.
  struct Request {
    const std::string &strDevId;
    int nSn;
    int nCmd;
    const char *pData;
    int nLength;
  };

  explicit ZTDMImpl(const InstanceOptions &options);
  // Stops the request, timer and network threads before anything they read is freed.
  ~ZTDMImpl();
  int openChannel(const std::string &strHost, int nPort);

  // On the network thread: queues a copy of the request for the request threads.
  static void onRequest(const std::string &strDevId, int nSn, int nCmd, const char *pData, int nLength,
                        void *pContext);
  // On a request thread.
  void handleRequest(const QueuedRequest &queued);
  void requestProc(const Request &request);
  void answerDiscovery();
  void requestSetConfig(const Request &request);
  void requestGetConfig(const Request &request);
  void requestCtrl(const Request &request);
  void requestQryStatus(const Request &request);
  void requestSetRunModel(const Request &request);
  // Calls a driver entry that writes into an output buffer: (buffer, in/out length, error text).
  using OutputCall = std::function<int(char *pOut, int *pnOutLen, char *pszError)>;
  // Runs fnCall on a zeroed heap buffer of nBufferSize bytes and answers with its output.
  void answerWithOutput(const Request &request, const char *pstrHandler, int nBufferSize,
                        const OutputCall &fnCall);
  // Answers at once, or defers the answer when the driver returned more than 100.
  void finishRequest(const Request &request, int nResult, const char *pData, int nLength);

  // Switches the run model and moves the request subscriptions; false for a model other than
  // Normal or Debug, which leaves everything as it was.
  bool changeRunModel(int nRunModel);
  void doRunModelResponse(int nRunModel, const Request &request);

  // Publishing builds topics from the run model, so it is serialised with run-model changes.
  bool notify(const std::string &strDevId, int nCmd, int nSn, const char *pData, int nLength);
  void respond(const ResponseRecord &record, int nSn);

  std::unique_ptr<DriverManager> m_pDriverManager;
  std::unique_ptr<ztdmSyncTimeManager> m_pSyncTimeManager;
  std::unique_ptr<Channel> m_pChannel;
  // Outlives the channel: the network thread queues into it until the channel is closed.
  std::unique_ptr<RequestQueue> m_pRequestQueue;
  std::mutex m_runModelMutex;
  CallbackGate m_requestGate;
  const bool m_bConcurrentDevices;

  static std::atomic<int> s_nLiveInstances;
};

} // namespace zt::dm
