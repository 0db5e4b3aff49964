// Tasks of one process talking in-process through the exported functions: delivery, the
// records of the callbacks, proxies, refusals, load from several threads and destroying tasks
// while they are in use.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <regex>
#include <thread>

#include "broker.h"
#include "task_test_support.h"
#include "ztmq.h"

namespace zt::mq {
namespace {

using namespace std::chrono_literals;
using namespace test;
using zt::test::waitFor;

TEST(Tasks, PayloadsOfEverySizeArriveIntact) {
  Recorder plain, extended;
  Tasks tasks;
  std::string strReceiver = uniqueId("receiver");
  std::string strSender = uniqueId("sender");
  ASSERT_EQ(ZTCreateTask(tasks.add(strReceiver), Recorder::onMessage, &plain), 0);
  ASSERT_EQ(ZTCreateTaskEx(tasks.add(strSender), Recorder::onMessageEx, nullptr, &extended), 0);
  const size_t kSizes[] = {0, 1, 65536, 1048576};
  int nSn = 100;
  for (size_t nSize : kSizes) {
    std::string strData = pattern(nSize, nSn);
    ASSERT_EQ(ZTSendMessage(strSender.c_str(), strReceiver.c_str(), strData.data(), int(nSize), nSn), 0);
    ASSERT_EQ(ZTSendMessage(strReceiver.c_str(), strSender.c_str(), strData.data(), int(nSize), -nSn), 0);
    ++nSn;
  }
  ASSERT_TRUE(plain.waitForCount(4));
  ASSERT_TRUE(extended.waitForCount(4));
  for (size_t i = 0; i < 4; ++i) {
    Received got = plain.messages()[i];
    EXPECT_EQ(got.strSource, strSender);
    EXPECT_EQ(got.nSn, 100 + int(i));
    EXPECT_EQ(got.strData, pattern(kSizes[i], 100 + int(i))) << "size " << kSizes[i];
    Received ex = extended.messages()[i];
    EXPECT_EQ(ex.strSource, strReceiver);
    EXPECT_EQ(ex.nInfoSn, -(100 + int(i)));
    EXPECT_EQ(ex.strSrcAddr, strReceiver); // its own id is its address
    EXPECT_EQ(ex.strDest, strSender);
    EXPECT_FALSE(ex.bHasProxy);
    EXPECT_EQ(ex.strData, pattern(kSizes[i], 100 + int(i)));
  }
}

TEST(Tasks, ReceivedDataIsFollowedByAZeroByte) {
  Tasks tasks;
  std::string strReceiver = uniqueId("text");
  static std::atomic<bool> s_bTerminated{false};
  auto check = [](const char *, const char *pData, int nSize, int, void *) { s_bTerminated = pData[nSize] == '\0'; };
  ASSERT_EQ(ZTCreateTask(tasks.add(strReceiver), check, nullptr), 0);
  ASSERT_EQ(ZTSendMessage(tasks.add(uniqueId("s")), strReceiver.c_str(), "abcdef", 3, 1), 0);
  EXPECT_TRUE(waitFor([] { return s_bTerminated.load(); }));
}

TEST(Tasks, ProxyRouteEndToEnd) {
  Recorder atSource, atProxy, atDest;
  Tasks tasks;
  std::string strSource = uniqueId("S");
  std::string strProxy = uniqueId("P");
  std::string strDest = uniqueId("D");
  ASSERT_EQ(ZTCreateTaskEx(tasks.add(strSource), Recorder::onMessageEx, nullptr, &atSource), 0);
  ASSERT_EQ(ZTCreateTaskEx(tasks.add(strDest), Recorder::onMessageEx, nullptr, &atDest), 0);
  // The proxy forwards whatever is not for itself.
  auto forward = [](const char *pstrSource, const char *pData, int nSize, void *pUser, const ZtmqRecvInfo *pInfo) {
    Recorder::onMessageEx(pstrSource, pData, nSize, pUser, pInfo);
    if (pInfo->proxy != nullptr) {
      ZTProxySendMessage(pInfo->proxy, pstrSource, pInfo->dest, pData, nSize, pInfo->sn);
    }
  };
  ASSERT_EQ(ZTCreateProxyTask(tasks.add(strProxy), forward, nullptr, &atProxy), 0);
  ASSERT_EQ(ZTConfigSetProxy(strDest.c_str(), strProxy.c_str()), 0);

  ASSERT_EQ(ZTSendMessage(strSource.c_str(), strDest.c_str(), "via proxy", 9, 77), 0);
  ASSERT_TRUE(atDest.waitForCount(1));
  Received atP = atProxy.messages().at(0);
  EXPECT_EQ(atP.strSource, strSource);
  EXPECT_EQ(atP.strDest, strDest);
  EXPECT_EQ(atP.strProxy, strProxy);
  EXPECT_EQ(atP.nInfoSn, 77);
  Received atD = atDest.messages().at(0);
  EXPECT_EQ(atD.strSource, strSource);
  EXPECT_EQ(atD.strSrcAddr, strProxy); // the reply address is the proxy's
  EXPECT_EQ(atD.strDest, strDest);
  EXPECT_FALSE(atD.bHasProxy);
  EXPECT_EQ(atD.strData, "via proxy");
  EXPECT_EQ(atD.nInfoSn, 77);
  // A message to the proxy itself is its own, not one to forward.
  ASSERT_EQ(ZTSendMessage(strSource.c_str(), strProxy.c_str(), "own", 3, 1), 0);
  ASSERT_TRUE(atProxy.waitForCount(2));
  EXPECT_FALSE(atProxy.messages()[1].bHasProxy);
  EXPECT_EQ(atProxy.messages()[1].strDest, strProxy);
  EXPECT_EQ(atDest.count(), 1u);
}

TEST(Tasks, ProxyBecomesTheRouteToADestinationItForwardsFor) {
  Recorder atProxy;
  Tasks tasks;
  std::string strProxy = uniqueId("P");
  std::string strElsewhere = uniqueId("elsewhere");
  ASSERT_EQ(ZTCreateProxyTask(tasks.add(strProxy), Recorder::onMessageEx, nullptr, &atProxy), 0);
  // Messages for strElsewhere land at the proxy's address, as when a peer routes them here.
  ASSERT_EQ(ZTConfigSetAddr(strElsewhere.c_str(), strProxy.c_str()), 0);
  EXPECT_STREQ(ZTConfigGetProxy(strElsewhere.c_str()), "");
  ASSERT_EQ(ZTSendMessage(tasks.add(uniqueId("s")), strElsewhere.c_str(), "y", 1, 4), 0);
  ASSERT_TRUE(atProxy.waitForCount(1));
  EXPECT_EQ(atProxy.messages()[0].strDest, strElsewhere);
  EXPECT_EQ(atProxy.messages()[0].strProxy, strProxy);
  EXPECT_STREQ(ZTConfigGetProxy(strElsewhere.c_str()), strProxy.c_str());
}

TEST(Tasks, UnreachableDestinationsFailFastWithoutBlocking) {
  Tasks tasks;
  std::string strSender = uniqueId("lonely");
  tasks.add(strSender);
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(ZTSendMessage(strSender.c_str(), uniqueId("nowhere").c_str(), "x", 1, i), -4);
  }
  // An in-process name nobody bound is known at once; ten sends are far from ten probe periods.
  EXPECT_LT(std::chrono::steady_clock::now() - start, 900ms);

  std::string strGhost = uniqueId("ghost");
  ASSERT_EQ(ZTConfigSetAddr(strGhost.c_str(), ("127.0.0.1:" + std::to_string(zt::test::freeTcpPort())).c_str()), 0);
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(ZTSendMessage(strSender.c_str(), strGhost.c_str(), "x", 1, 1), -4);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST(Tasks, IdsUpTo63Characters) {
  Recorder recorder;
  Tasks tasks;
  std::string strLongest = uniqueId("l") + std::string(63, 'i');
  strLongest.resize(63);
  std::string strTooLong = strLongest + "x";
  ASSERT_EQ(ZTCreateTask(tasks.add(strLongest), Recorder::onMessage, &recorder), 0);
  EXPECT_EQ(ZTCreateTask(strTooLong.c_str(), Recorder::onMessage, &recorder), -5);
  EXPECT_EQ(ZTSendMessage(strTooLong.c_str(), strLongest.c_str(), "x", 1, 1), -5);
  EXPECT_EQ(ZTSendMessage(strLongest.c_str(), strTooLong.c_str(), "x", 1, 1), -5);
  EXPECT_EQ(ZTProxySendMessage(strLongest.c_str(), strTooLong.c_str(), strLongest.c_str(), "x", 1, 1), -5);
  ASSERT_EQ(ZTSendMessage(strLongest.c_str(), strLongest.c_str(), "self", 4, 2), 0);
  ASSERT_TRUE(recorder.waitForCount(1));
  EXPECT_EQ(recorder.messages()[0].strSource, strLongest);
}

TEST(Tasks, SecondCreateIsRefusedAndTheFirstKeepsReceiving) {
  Recorder first, second;
  Tasks tasks;
  std::string strId = uniqueId("twice");
  ASSERT_EQ(ZTCreateTask(tasks.add(strId), Recorder::onMessage, &first), 0);
  EXPECT_EQ(ZTCreateTask(strId.c_str(), Recorder::onMessage, &second), -7);
  EXPECT_EQ(ZTCreateTaskEx(strId.c_str(), Recorder::onMessageEx, nullptr, &second), -7);
  EXPECT_EQ(ZTCreateProxyTask(strId.c_str(), Recorder::onMessageEx, nullptr, &second), -7);
  ASSERT_EQ(ZTSendMessage(tasks.add(uniqueId("s")), strId.c_str(), "x", 1, 5), 0);
  ASSERT_TRUE(first.waitForCount(1));
  EXPECT_EQ(second.count(), 0u);
}

TEST(Tasks, NullAndEmptyArguments) {
  Recorder recorder;
  auto idle = [](void *) {};
  EXPECT_EQ(ZTCreateTask(nullptr, Recorder::onMessage, &recorder), -1);
  EXPECT_EQ(ZTCreateTask("x", nullptr, &recorder), -1);
  EXPECT_EQ(ZTCreateTaskWithIdleCallback(nullptr, Recorder::onMessage, idle, &recorder), -1);
  EXPECT_EQ(ZTCreateTaskWithIdleCallback("x", nullptr, idle, &recorder), -1);
  EXPECT_EQ(ZTCreateTaskEx(nullptr, Recorder::onMessageEx, idle, &recorder), -1);
  EXPECT_EQ(ZTCreateTaskEx("x", nullptr, idle, &recorder), -1);
  EXPECT_EQ(ZTCreateProxyTask(nullptr, Recorder::onMessageEx, idle, &recorder), -1);
  EXPECT_EQ(ZTCreateProxyTask("x", nullptr, idle, &recorder), -1);
  EXPECT_EQ(ZTCreateTask("", Recorder::onMessage, &recorder), -6);
  EXPECT_EQ(ZTModuleInfo(nullptr), -1);
  EXPECT_EQ(ZTSetLogFunc(nullptr), -1);
  // A null callback created nothing: the id is still free.
  EXPECT_EQ(ZTConfigIDIsSet("x"), -1);

  Tasks tasks;
  std::string strSender = uniqueId("s");
  EXPECT_EQ(ZTSendMessage(tasks.add(strSender), "y", nullptr, 5, 1), -1);
  EXPECT_EQ(ZTSendMessage(strSender.c_str(), "y", "data", -1, 1), -1);
  EXPECT_EQ(ZTSendMessage(strSender.c_str(), nullptr, "data", 4, 1), -6);
  EXPECT_EQ(ZTSendMessage(strSender.c_str(), "", "data", 4, 1), -6);
  EXPECT_EQ(ZTProxySendMessage(strSender.c_str(), "a", "y", nullptr, 5, 1), -1);
  ZTDestroyTask(nullptr);
  ZTDestroyTask(uniqueId("never-made").c_str());
}

TEST(Tasks, SendingFromANewIdCreatesThatTask) {
  Recorder atReceiver, atNew;
  Recorder ex;
  Tasks tasks;
  std::string strReceiver = uniqueId("r");
  std::string strNew = uniqueId("fresh");
  ASSERT_EQ(ZTCreateTask(tasks.add(strReceiver), Recorder::onMessage, &atReceiver), 0);
  ASSERT_EQ(ZTSendMessage(tasks.add(strNew), strReceiver.c_str(), "hi", 2, 1), 0);
  ASSERT_TRUE(atReceiver.waitForCount(1));
  // It is bound already: a reply sent before it receives waits for it.
  ASSERT_EQ(ZTSendMessage(strReceiver.c_str(), strNew.c_str(), "early reply", 11, 2), 0);
  ASSERT_EQ(ZTCreateTask(strNew.c_str(), Recorder::onMessage, &atNew), 0);
  ASSERT_TRUE(atNew.waitForCount(1));
  EXPECT_EQ(atNew.messages()[0].strData, "early reply");
  // A null source sends as the empty id, which has no reply address.
  std::string strEx = uniqueId("ex");
  ASSERT_EQ(ZTCreateTaskEx(tasks.add(strEx), Recorder::onMessageEx, nullptr, &ex), 0);
  ASSERT_EQ(ZTSendMessage(nullptr, strEx.c_str(), "anon", 4, 3), 0);
  ASSERT_TRUE(ex.waitForCount(1));
  EXPECT_EQ(ex.messages()[0].strSource, "");
  EXPECT_EQ(ex.messages()[0].strSrcAddr, "");
  ZTDestroyTask("");
}

TEST(Tasks, SendersFollowTheDestination) {
  Recorder atA, atB, atDest;
  Recorder atNewB;
  Tasks tasks;
  std::string strSender = uniqueId("s");
  std::string strDest = uniqueId("moving");
  std::string strHomeA = uniqueId("homeA");
  std::string strHomeB = uniqueId("homeB");
  ASSERT_EQ(ZTCreateTask(tasks.add(strHomeA), Recorder::onMessage, &atA), 0);
  ASSERT_EQ(ZTCreateTask(tasks.add(strHomeB), Recorder::onMessage, &atB), 0);
  // A new address for the destination is used by the next send.
  ASSERT_EQ(ZTConfigSetAddr(strDest.c_str(), strHomeA.c_str()), 0);
  ASSERT_EQ(ZTSendMessage(tasks.add(strSender), strDest.c_str(), "1", 1, 1), 0);
  ASSERT_EQ(ZTConfigSetAddr(strDest.c_str(), strHomeB.c_str()), 0);
  ASSERT_EQ(ZTSendMessage(strSender.c_str(), strDest.c_str(), "2", 1, 2), 0);
  ASSERT_TRUE(atA.waitForCount(1));
  ASSERT_TRUE(atB.waitForCount(1));
  EXPECT_EQ(atA.messages()[0].nSn, 1);
  EXPECT_EQ(atB.messages()[0].nSn, 2);

  // A destroyed task is unreachable at once, and reachable again once it is made anew.
  ZTDestroyTask(strHomeB.c_str());
  EXPECT_EQ(ZTSendMessage(strSender.c_str(), strDest.c_str(), "3", 1, 3), -4);
  ASSERT_EQ(ZTCreateTask(strHomeB.c_str(), Recorder::onMessage, &atNewB), 0);
  ASSERT_EQ(ZTSendMessage(strSender.c_str(), strDest.c_str(), "4", 1, 4), 0);
  ASSERT_TRUE(atNewB.waitForCount(1));
  EXPECT_EQ(atNewB.messages()[0].nSn, 4);
  EXPECT_EQ(atDest.count(), 0u);
}

TEST(Tasks, ManyThreadsDeliverEachMessageOnceAndInOrder) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 5000;
  Recorder recorder;
  Tasks tasks;
  std::string strReceiver = uniqueId("sink");
  ASSERT_EQ(ZTCreateTask(tasks.add(strReceiver), Recorder::onMessage, &recorder), 0);
  std::vector<std::string> vecSenders;
  for (int t = 0; t < kThreads; ++t) {
    vecSenders.push_back(uniqueId("pump"));
    tasks.add(vecSenders.back());
  }
  std::atomic<int> nFailures{0};
  std::vector<std::thread> vecThreads;
  for (int t = 0; t < kThreads; ++t) {
    vecThreads.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) {
        std::string strData = std::to_string(t) + ":" + std::to_string(i);
        // A full queue refuses the message whole (the probe or the header); it is sent again.
        for (int nTry = 0; nTry < 100; ++nTry) {
          if (ZTSendMessage(vecSenders[t].c_str(), strReceiver.c_str(), strData.data(), int(strData.size()), i) == 0) {
            break;
          }
          ++nFailures;
        }
      }
    });
  }
  for (std::thread &thread : vecThreads) {
    thread.join();
  }
  ASSERT_TRUE(recorder.waitForCount(kThreads * kPerThread, 30s));
  std::this_thread::sleep_for(200ms); // nothing more may come
  std::vector<Received> vecGot = recorder.messages();
  ASSERT_EQ(vecGot.size(), size_t(kThreads * kPerThread));
  std::map<std::string, int> mapNext;
  for (const Received &got : vecGot) {
    int &nNext = mapNext[got.strSource];
    ASSERT_EQ(got.nSn, nNext) << got.strSource;
    size_t nThread = size_t(std::find(vecSenders.begin(), vecSenders.end(), got.strSource) - vecSenders.begin());
    ASSERT_EQ(got.strData, std::to_string(nThread) + ":" + std::to_string(nNext));
    ++nNext;
  }
  EXPECT_EQ(mapNext.size(), size_t(kThreads));
  RecordProperty("send_retries", nFailures.load());
}

TEST(Tasks, IdleCallbackAboutOnceASecond) {
  Recorder recorder;
  Tasks tasks;
  static std::atomic<int> s_nIdle{0};
  auto idle = [](void *) { ++s_nIdle; };
  std::string strId = uniqueId("idle");
  ASSERT_EQ(ZTCreateTaskWithIdleCallback(tasks.add(strId), Recorder::onMessage, idle, &recorder), 0);
  std::this_thread::sleep_for(2200ms);
  int nQuiet = s_nIdle.exchange(0);
  EXPECT_GE(nQuiet, 1);
  EXPECT_LE(nQuiet, 3);
  // While messages keep the task busy it is still called, but not more often.
  std::string strSender = uniqueId("busy");
  tasks.add(strSender);
  auto end = std::chrono::steady_clock::now() + 2200ms;
  int nSn = 0;
  while (std::chrono::steady_clock::now() < end) {
    ZTSendMessage(strSender.c_str(), strId.c_str(), "tick", 4, ++nSn);
    std::this_thread::sleep_for(20ms);
  }
  int nBusy = s_nIdle.load();
  EXPECT_GE(nBusy, 1);
  EXPECT_LE(nBusy, 4);
}

// Callbacks that destroy tasks; the user value names the task to destroy.
struct DestroyOrder {
  std::string strVictim;
  std::atomic<int> nCalls{0};
};

void destroyOnMessage(const char *, const char *, int, int, void *pUser) {
  auto *pOrder = static_cast<DestroyOrder *>(pUser);
  ++pOrder->nCalls;
  ZTDestroyTask(pOrder->strVictim.c_str());
}

TEST(Destroying, FromInsideItsOwnCallback) {
  DestroyOrder order;
  order.strVictim = uniqueId("self_destroying");
  Recorder recorder;
  Tasks tasks;
  std::string strSender = uniqueId("s");
  tasks.add(strSender);
  ASSERT_EQ(ZTCreateTask(order.strVictim.c_str(), destroyOnMessage, &order), 0);
  ASSERT_EQ(ZTSendMessage(strSender.c_str(), order.strVictim.c_str(), "a", 1, 1), 0);
  ZTSendMessage(strSender.c_str(), order.strVictim.c_str(), "b", 1, 2);
  ASSERT_TRUE(waitFor([&] { return order.nCalls >= 1; }));
  // Once torn down, the id can be made again.
  ASSERT_TRUE(waitFor([&] { return ZTCreateTask(order.strVictim.c_str(), Recorder::onMessage, &recorder) == 0; }));
  tasks.add(order.strVictim);
  EXPECT_EQ(order.nCalls, 1); // no callback after the destroy
  ASSERT_TRUE(waitFor([&] { return ZTSendMessage(strSender.c_str(), order.strVictim.c_str(), "c", 1, 3) == 0; }));
  EXPECT_TRUE(recorder.waitForCount(1));
}

// Each callback waits until the other has started too, then destroys the other task: neither
// destroy may wait for the other callback, which is waiting for it in turn.
std::atomic<int> g_nInsideMutual{0};

void destroyTheOtherOnceBothRun(const char *, const char *, int, int, void *pUser) {
  ++g_nInsideMutual;
  zt::test::waitFor([] { return g_nInsideMutual >= 2; });
  destroyOnMessage(nullptr, nullptr, 0, 0, pUser);
}

TEST(Destroying, TwoTasksDestroyingEachOtherFromTheirCallbacks) {
  g_nInsideMutual = 0;
  DestroyOrder first, second;
  std::string strA = uniqueId("mutualA");
  std::string strB = uniqueId("mutualB");
  first.strVictim = strB;
  second.strVictim = strA;
  ASSERT_EQ(ZTCreateTask(strA.c_str(), destroyTheOtherOnceBothRun, &first), 0);
  ASSERT_EQ(ZTCreateTask(strB.c_str(), destroyTheOtherOnceBothRun, &second), 0);
  Recorder recorder;
  Tasks tasks;
  std::string strSender = uniqueId("s");
  tasks.add(strSender);
  ASSERT_EQ(ZTSendMessage(strSender.c_str(), strA.c_str(), "x", 1, 1), 0);
  ASSERT_EQ(ZTSendMessage(strSender.c_str(), strB.c_str(), "x", 1, 1), 0);
  ASSERT_TRUE(waitFor([&] { return first.nCalls + second.nCalls == 2; }));
  // Both ids come free once the callbacks have returned.
  ASSERT_TRUE(waitFor([&] { return ZTCreateTask(strA.c_str(), Recorder::onMessage, &recorder) == 0; }));
  ASSERT_TRUE(waitFor([&] { return ZTCreateTask(strB.c_str(), Recorder::onMessage, &recorder) == 0; }));
  ZTDestroyTask(strA.c_str());
  ZTDestroyTask(strB.c_str());
}

TEST(Destroying, WhileOtherThreadsSendFromAndToIt) {
  Recorder recorder;
  Recorder after;
  Tasks tasks;
  std::string strTarget = uniqueId("target");
  std::string strSender = uniqueId("s");
  tasks.add(strSender);
  std::atomic<bool> bStop{false};
  std::atomic<int> nSends{0};
  auto sendLoop = [&](const std::string &strFrom, const std::string &strTo) {
    while (!bStop) {
      ZTSendMessage(strFrom.c_str(), strTo.c_str(), "load", 4, 1);
      ++nSends;
    }
  };
  ASSERT_EQ(ZTCreateTask(strTarget.c_str(), Recorder::onMessage, &recorder), 0);
  std::thread toTarget(sendLoop, strSender, strTarget);
  std::thread fromTarget(sendLoop, strTarget, strSender);
  for (int i = 0; i < 20; ++i) {
    ZTDestroyTask(strTarget.c_str());
    ZTCreateTask(strTarget.c_str(), Recorder::onMessage, &recorder);
    std::this_thread::sleep_for(5ms);
  }
  bStop = true;
  toTarget.join();
  fromTarget.join();
  EXPECT_GT(nSends.load(), 20);
  // Whatever state the race left, the id still works as a task.
  ZTDestroyTask(strTarget.c_str());
  ASSERT_EQ(ZTCreateTask(tasks.add(strTarget), Recorder::onMessage, &after), 0);
  ASSERT_EQ(ZTSendMessage(strSender.c_str(), strTarget.c_str(), "after", 5, 9), 0);
  ASSERT_TRUE(after.waitForCount(1));
  EXPECT_EQ(after.messages()[0].strData, "after");
}

TEST(Destroying, WhileItsCallbackRunsWaitsForTheCallback) {
  Tasks tasks;
  static std::atomic<bool> s_bInside{false}, s_bRelease{false}, s_bReturned{false};
  auto slow = [](const char *, const char *, int, int, void *) {
    s_bInside = true;
    while (!s_bRelease) {
      std::this_thread::sleep_for(1ms);
    }
    s_bReturned = true;
  };
  s_bInside = s_bRelease = s_bReturned = false;
  std::string strId = uniqueId("slow");
  ASSERT_EQ(ZTCreateTask(strId.c_str(), slow, nullptr), 0);
  ASSERT_EQ(ZTSendMessage(tasks.add(uniqueId("s")), strId.c_str(), "x", 1, 1), 0);
  ASSERT_TRUE(waitFor([] { return s_bInside.load(); }));
  std::thread release([] {
    std::this_thread::sleep_for(100ms);
    s_bRelease = true;
  });
  ZTDestroyTask(strId.c_str());
  EXPECT_TRUE(s_bReturned); // the destroy returned only after the callback
  release.join();
}

TEST(LogFunction, SeesTheLinesZtmqLogs) {
  static std::atomic<int> s_nSendLines{0};
  auto count = [](int nLevel, const char *pstrText) {
    if (nLevel == 7 && std::strstr(pstrText, "ZTSendMessage start source:log_sender") != nullptr) {
      ++s_nSendLines;
    }
  };
  s_nSendLines = 0;
  ASSERT_EQ(ZTSetLogFunc(count), 0);
  ZTSendMessage("log_sender", uniqueId("absent").c_str(), "x", 1, 1);
  ZTDestroyTask("log_sender");
  EXPECT_EQ(s_nSendLines, 1);
}

TEST(ModuleInfo, FillsTheFourFieldsOnly) {
  char arrRecord[300];
  std::memset(arrRecord, '#', sizeof arrRecord);
  ASSERT_EQ(ZTModuleInfo(arrRecord), 0);
  EXPECT_STREQ(arrRecord, "V1.1.1");
  EXPECT_TRUE(std::regex_match(arrRecord + 64, std::regex(R"([A-Z][a-z]{2} [ 1-3]\d \d{4} \d\d:\d\d:\d\d)")))
      << arrRecord + 64;
  EXPECT_STREQ(arrRecord + 128, "ZTM2043");
  EXPECT_STREQ(arrRecord + 192, "消息子系统");
  EXPECT_EQ(arrRecord[256], '#');
}

} // namespace
} // namespace zt::mq
