// Request/response round trips over one exchange: a number of requests with a fixed number in
// flight, their p50/p99 latency and rate, and the median of each figure over several rounds; and
// sporadic requests, one at a time after a random pause, as applications really send them.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace zt::bench {

// One way of sending requests and receiving their responses, identified by sequence number.
class Exchange {
public:
  virtual ~Exchange() = default;
  virtual bool start(int nPort) = 0;
  virtual bool sendRequest(uint32_t uSN) = 0;
  virtual void stop() = 0;
  // Called with the sequence number of every response.
  std::function<void(uint32_t)> m_onResponse = [](uint32_t) {};
};

struct RoundTrips {
  double dP50Us = 0;
  double dP99Us = 0;
  double dPerSecond = 0;
  bool bOk = false;
};

// p50 and p99 of latencies in microseconds (sorted in place).
inline void percentilesOf(std::vector<double> &vecLatencyUs, RoundTrips &result) {
  std::sort(vecLatencyUs.begin(), vecLatencyUs.end());
  if (!vecLatencyUs.empty()) {
    result.dP50Us = vecLatencyUs[vecLatencyUs.size() / 2];
    result.dP99Us = vecLatencyUs[std::min(vecLatencyUs.size() - 1, vecLatencyUs.size() * 99 / 100)];
  }
}

// nTotal round trips with nInFlight requests outstanding; sequence numbers run from uFirstSn.
inline RoundTrips measureRoundTrips(Exchange &exchange, int nInFlight, int nTotal, uint32_t uFirstSn) {
  using Clock = std::chrono::steady_clock;
  std::mutex mutex;
  std::condition_variable done;
  std::vector<Clock::time_point> vecSent(static_cast<size_t>(nTotal));
  std::vector<double> vecLatencyUs;
  vecLatencyUs.reserve(static_cast<size_t>(nTotal));
  int nNext = 0;
  int nCompleted = 0;
  auto sendNext = [&](std::unique_lock<std::mutex> &lock) {
    if (nNext >= nTotal) {
      return;
    }
    int nIndex = nNext++;
    vecSent[static_cast<size_t>(nIndex)] = Clock::now();
    lock.unlock();
    exchange.sendRequest(uFirstSn + static_cast<uint32_t>(nIndex));
    lock.lock();
  };
  exchange.m_onResponse = [&](uint32_t uSN) {
    auto now = Clock::now();
    std::unique_lock<std::mutex> lock(mutex);
    int64_t nIndex = static_cast<int64_t>(uSN) - static_cast<int64_t>(uFirstSn);
    if (nIndex < 0 || nIndex >= nNext) {
      return;
    }
    vecLatencyUs.push_back(
        std::chrono::duration<double, std::micro>(now - vecSent[static_cast<size_t>(nIndex)]).count());
    ++nCompleted;
    sendNext(lock);
    // Only the last answer wakes the waiting thread, which would otherwise compete with the
    // exchange for the cores after every answer.
    if (nCompleted == nTotal) {
      done.notify_one();
    }
  };
  auto start = Clock::now();
  std::unique_lock<std::mutex> lock(mutex);
  for (int i = 0; i < nInFlight; ++i) {
    sendNext(lock);
  }
  RoundTrips result;
  result.bOk = done.wait_for(lock, std::chrono::seconds(60), [&] { return nCompleted >= nTotal; });
  double dSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  exchange.m_onResponse = [](uint32_t) {};
  percentilesOf(vecLatencyUs, result);
  result.dPerSecond = nCompleted / dSeconds;
  return result;
}

// nSamples requests sent one at a time, each after a random pause of 0 to 100 ms, so that every
// thread on the path has gone idle; the sender waits on its own thread for each answer. Appends the
// latencies to vecLatencyUs; false when an answer did not come within 5 s.
inline bool measureSporadic(Exchange &exchange, int nSamples, uint32_t uFirstSn, std::mt19937 &random,
                            std::vector<double> &vecLatencyUs) {
  using Clock = std::chrono::steady_clock;
  std::mutex mutex;
  std::condition_variable answered;
  uint32_t uLastAnswer = 0;
  exchange.m_onResponse = [&](uint32_t uSN) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      uLastAnswer = uSN;
    }
    answered.notify_one();
  };
  std::uniform_int_distribution<int> pauseUs(0, 100000);
  bool bOk = true;
  for (int i = 0; i < nSamples && bOk; ++i) {
    std::this_thread::sleep_for(std::chrono::microseconds(pauseUs(random)));
    uint32_t uSN = uFirstSn + static_cast<uint32_t>(i);
    auto sent = Clock::now();
    exchange.sendRequest(uSN);
    std::unique_lock<std::mutex> lock(mutex);
    bOk = answered.wait_for(lock, std::chrono::seconds(5), [&] { return uLastAnswer == uSN; });
    if (bOk) {
      vecLatencyUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
    }
  }
  exchange.m_onResponse = [](uint32_t) {};
  return bOk;
}

// The median of each figure over the rounds.
inline RoundTrips medianOfRounds(const std::vector<RoundTrips> &vecRounds) {
  auto medianOf = [&](double RoundTrips::*pField) {
    std::vector<double> vecValues;
    for (const RoundTrips &round : vecRounds) {
      vecValues.push_back(round.*pField);
    }
    std::sort(vecValues.begin(), vecValues.end());
    return vecValues[vecValues.size() / 2];
  };
  RoundTrips result;
  result.dP50Us = medianOf(&RoundTrips::dP50Us);
  result.dP99Us = medianOf(&RoundTrips::dP99Us);
  result.dPerSecond = medianOf(&RoundTrips::dPerSecond);
  result.bOk = true;
  return result;
}

} // namespace zt::bench
