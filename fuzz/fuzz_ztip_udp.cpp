// One arbitrary datagram through the UDP frame checks; an accepted frame's payload is read whole.
#include <cstdint>
#include <cstdlib>

#include "codec/ztip_udp_reader.h"

using namespace zt::ip;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize) {
  if (nSize > kUdpRecvMax)
    return 0;
  ZtipHead head;
  if (readDatagram(pData, nSize, "192.0.2.1", "9527", head) == UdpReadResult::Ok) {
    if (kHeadSize + head.uObjLen != nSize)
      std::abort();
    volatile uint8_t uSum = 0;
    for (size_t i = kHeadSize; i < nSize; ++i)
      uSum = static_cast<uint8_t>(uSum + pData[i]);
  }
  return 0;
}
