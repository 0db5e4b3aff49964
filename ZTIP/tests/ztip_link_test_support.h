// Shared pieces of the connection tests: a fixture that starts the library with short
// timers, recorders for the callbacks (plain function pointers, so they are process-wide)
// and raw loopback sockets that play a peer byte by byte.
#pragma once

#include "ZTIP.h"
#include "codec/ztip_head.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace zt::ip::test {

struct ReceivedFrame {
  uint16_t uSocketId;
  uint16_t uServerSocketId;
  ZTIP_Head_Para head;
  std::vector<uint8_t> vecData;
  std::string strIp;   // "(null)" when the library passed null
  std::string strPort; // "(null)" when the library passed null
};

struct Notification {
  int nType;
  int nStatus;
  uint16_t uSocketId;
  std::string strIp;
  int nPort;
};

// Everything the callbacks saw since the last clear().
class Recorder {
public:
  void clear();
  void addFrame(const ReceivedFrame &frame);
  void addNotification(const Notification &notification);
  std::vector<ReceivedFrame> frames() const;
  std::vector<ReceivedFrame> framesOn(uint16_t uSocketId) const;
  std::vector<Notification> notifications() const;
  bool hasNotification(int nType, int nStatus) const;

private:
  mutable std::mutex m_mutex;
  std::vector<ReceivedFrame> m_vecFrames;
  std::vector<Notification> m_vecNotifications;
};

Recorder &recorder();

// Receive callback and connection notify that record into recorder().
void recordFrame(uint16_t uSocketId, uint16_t uServerSocketId, ZTIP_Head_Para head, uint32_t uLen,
                 const uint8_t *pData, const char *pstrIp, const char *pstrPort);
void recordNotification(int nType, int nStatus, uint16_t uSocketId, const char *pstrIp, int nPort);

bool waitUntil(const std::function<bool()> &pred,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

ZTIP_Head_Para makeHead(uint16_t uCmd, uint16_t uCryptMode, uint32_t uUnitId = 0);
std::vector<uint8_t> pattern(size_t nLen, uint8_t uSeed);

// Starts the library (mode 0 release, 1 debug) with short timers and the recorders.
class LinkTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  void init(int nMode);

  // A TCP server on a free port; returns its id and sets m_nPort.
  uint16_t startServer();
  // A client of the server at m_nPort; returns its id.
  uint16_t startClient();
  // Sends until the key exchange lets the frame through; the last result.
  uint8_t sendWhenKeysAgreed(uint16_t uSocketId, ZTIP_Head_Para head, const std::vector<uint8_t> &vecData);
  // The id of the connection the server accepted (from its connect notify).
  uint16_t acceptedId();

  int m_nPort = 0;
  bool m_bInit = false;
};

// A plain TCP socket on 127.0.0.1 playing the peer.
class RawPeer {
public:
  RawPeer() = default;
  ~RawPeer();
  RawPeer(const RawPeer &) = delete;
  RawPeer &operator=(const RawPeer &) = delete;

  bool connectTo(int nPort);
  // Listens on a free port (returned); acceptOne() then takes the first client.
  int listenOnFreePort();
  bool acceptOne(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  bool sendBytes(const std::vector<uint8_t> &vecBytes);
  // Reads one whole frame (head and payload); false on time-out or close.
  bool readFrame(ZtipHead &head, std::vector<uint8_t> &vecPayload,
                 std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // True when the library closed its end within the time-out (reads and drops data).
  bool waitClosedByPeer(std::chrono::milliseconds timeout);
  void close();

private:
  bool readExact(uint8_t *pOut, size_t nLen, std::chrono::milliseconds timeout);
  int m_nListen = -1;
  int m_nSocket = -1;
};

// The bytes of a frame with a plain payload, as a peer would send it.
std::vector<uint8_t> rawFrame(uint16_t uCmd, uint16_t uStatus, const std::vector<uint8_t> &vecPayload);

} // namespace zt::ip::test
