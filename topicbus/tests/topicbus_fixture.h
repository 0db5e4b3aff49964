// A suite whose tests share one real broker (TLS, plain and pre-shared-key listeners), and
// clients created as the exported functions create them but with short session waits.
#pragma once

#include <chrono>
#include <string>

#include "broker_suite.h"
#include "busline_test_client.h"
#include "create_handle.h"
#include "fixed_credentials.h"
#include "topicbus.h"

namespace zt::tb::test {

using zt::bus::test::Received;
using zt::bus::test::TestClient;

// The reconnect wait counts keep-alive seconds of 10 ms, and stopping retries every 50 ms.
inline zt::bus::SessionTiming fastTiming() {
  zt::bus::SessionTiming timing;
  timing.reconnectWaitStep = std::chrono::milliseconds(10);
  timing.disconnectRetry = std::chrono::milliseconds(50);
  timing.keepaliveSecond = std::chrono::milliseconds(10);
  return timing;
}

class TopicbusSuite : public zt::test::BrokerSuite {
protected:
  // A started client of the given mode on the broker's matching port, reporting to client.
  static TopicbusHandle *start(SecurityMode eMode, TestClient &client, const char *pstrSessionId = nullptr,
                               const char *pstrPassword = zt::bus::kFixedPassword) {
    StartUpArgs args;
    args.pstrIP = "127.0.0.1";
    args.nPort = eMode == SecurityMode::Plain ? broker().plainPort()
                 : eMode == SecurityMode::Tls ? broker().port()
                                              : broker().pskPort();
    args.pstrSessionId = pstrSessionId;
    args.pstrUserName = zt::bus::kFixedUserName;
    args.pstrPassword = pstrPassword;
    args.pConnectCallback = TestClient::onConnect;
    args.pRecvMessageCallback = TestClient::onMessage;
    args.pUserData = &client;
    PskArgs psk{zt::test::Broker::pskIdentity(), zt::test::Broker::pskKey(), nullptr};
    return createHandle(eMode, args, psk, fastTiming());
  }

  // Subscribes and publishes probes until one arrives, so that the subscription is known to
  // be in place at the broker.
  static bool subscribed(TopicbusHandle *pSubscriber, TopicbusHandle *pPublisher, TestClient &subscriber,
                         const char *pstrTopic, int nQos = 2) {
    if (ZTM2045_Subscribe(pSubscriber, pstrTopic, nQos) != 0) {
      return false;
    }
    size_t nBefore = subscriber.messageCount();
    return zt::test::waitFor([&] {
      ZTM2045_Publish(pPublisher, pstrTopic, "probe", 5, 0, 0, 0, 0, nullptr);
      return zt::test::waitFor([&] { return subscriber.messageCount() > nBefore; },
                               std::chrono::milliseconds(100));
    });
  }
};

} // namespace zt::tb::test
