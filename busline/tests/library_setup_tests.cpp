// libmosquitto is set up by the first session and cleaned up by the last, and an application
// that uses libmosquitto itself keeps working around busline's sessions.
#include <atomic>
#include <gtest/gtest.h>
#include <mosquitto.h>

#include "broker_suite.h"
#include "busline_handle.h"
#include "busline_test_client.h"
#include "library_setup.h"

using zt::bus::MosquittoLibraryUse;
using zt::bus::test::TestClient;

namespace {

// The application's own libmosquitto client, subscribed to one topic.
class OwnClient {
public:
  explicit OwnClient(int nPort) {
    m_pMosq = mosquitto_new(nullptr, true, this);
    mosquitto_int_option(m_pMosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_tls_set(m_pMosq, zt::test::Broker::caFile().c_str(), nullptr, nullptr, nullptr, nullptr);
    mosquitto_tls_insecure_set(m_pMosq, true);
    mosquitto_username_pw_set(m_pMosq, "root", "rbqe705316!$&^");
    mosquitto_connect_callback_set(m_pMosq, [](mosquitto *pMosq, void *, int nRc) {
      if (nRc == 0) {
        mosquitto_subscribe(pMosq, nullptr, "own/topic", 1);
      }
    });
    mosquitto_subscribe_callback_set(m_pMosq, [](mosquitto *, void *pSelf, int, int, const int *) {
      static_cast<OwnClient *>(pSelf)->m_bSubscribed = true;
    });
    mosquitto_message_callback_set(m_pMosq, [](mosquitto *, void *pSelf, const mosquitto_message *) {
      ++static_cast<OwnClient *>(pSelf)->m_nReceived;
    });
    m_bStarted = mosquitto_connect(m_pMosq, "127.0.0.1", nPort, 60) == MOSQ_ERR_SUCCESS &&
                 mosquitto_loop_start(m_pMosq) == MOSQ_ERR_SUCCESS;
  }
  ~OwnClient() {
    mosquitto_disconnect(m_pMosq);
    mosquitto_loop_stop(m_pMosq, false);
    mosquitto_destroy(m_pMosq);
  }
  bool started() const { return m_bStarted; }
  bool subscribed() const { return m_bSubscribed; }
  // Publishes to itself and waits for the message to come back.
  bool roundTrip() {
    int nBase = m_nReceived;
    return mosquitto_publish(m_pMosq, nullptr, "own/topic", 4, "ping", 1, false) == MOSQ_ERR_SUCCESS &&
           zt::test::waitFor([&] { return m_nReceived > nBase; });
  }

private:
  mosquitto *m_pMosq;
  bool m_bStarted = false;
  std::atomic<bool> m_bSubscribed{false};
  std::atomic<int> m_nReceived{0};
};

class LibrarySetUp : public zt::test::BrokerSuite {};

} // namespace

TEST_F(LibrarySetUp, HeldFromTheFirstSessionToTheLastIncludingTheGlobalOne) {
  ASSERT_EQ(MosquittoLibraryUse::users(), 0);
  TestClient client;
  for (int nRound = 0; nRound < 3; ++nRound) {
    size_t nFrom = client.statuses().size();
    BuslineHandle *pFirst = busline_init_session(nullptr, 1, 5, 1, nullptr, nullptr, nullptr);
    BuslineHandle *pSecond = busline_init("127.0.0.1", broker().port(), nullptr, 1, 5, 1, TestClient::onConnect,
                                          TestClient::onMessage, &client);
    EXPECT_EQ(MosquittoLibraryUse::users(), 2);
    // Set up again after the previous round's clean-up, the library connects as before.
    EXPECT_TRUE(client.waitStatus(0, nFrom));
    busline_exit(pFirst);
    EXPECT_EQ(MosquittoLibraryUse::users(), 1);
    busline_exit(pSecond);
    EXPECT_EQ(MosquittoLibraryUse::users(), 0);
  }
  ASSERT_EQ(nm_mqtt_init_session(nullptr, 1, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(MosquittoLibraryUse::users(), 1);
  nm_mqtt_exit();
  EXPECT_EQ(MosquittoLibraryUse::users(), 0);
}

TEST_F(LibrarySetUp, ApplicationsOwnClientOutlivesBuslinesSessions) {
  ASSERT_EQ(mosquitto_lib_init(), MOSQ_ERR_SUCCESS);
  {
    OwnClient own(broker().port());
    ASSERT_TRUE(own.started());
    ASSERT_TRUE(zt::test::waitFor([&] { return own.subscribed(); }));
    for (int nRound = 0; nRound < 3; ++nRound) {
      TestClient client;
      BuslineHandle *pHandle = busline_init("127.0.0.1", broker().port(), nullptr, 1, 4, 1,
                                            TestClient::onConnect, TestClient::onMessage, &client);
      EXPECT_TRUE(client.waitStatus(0));
      busline_exit(pHandle);
      EXPECT_TRUE(own.roundTrip()) << "round " << nRound;
    }
  }
  {
    // A client made after busline's last session is gone works too.
    OwnClient late(broker().port());
    ASSERT_TRUE(late.started());
    ASSERT_TRUE(zt::test::waitFor([&] { return late.subscribed(); }));
    EXPECT_TRUE(late.roundTrip());
  }
  mosquitto_lib_cleanup();
}
