// DesRun and Des3Run throughput next to libcrypto's DES called directly on the same data,
// and the TCP stream reader's throughput on 1 KiB and 64 KiB frames in crypt mode 0x030F.
// The reader runs without an open library log, so it measures parsing, CRC and decryption.
// The machine is shared, so each pair of variants takes turns over five rounds and the
// medians are reported (the ratio is the median of the per-round ratios).
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/des.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "ZTIP.h"
#include "codec/ztip_frame_builder.h"
#include "codec/ztip_stream_reader.h"

using namespace zt::ip;

namespace {

constexpr size_t kCipherBuffer = 64 * 1024;
constexpr double kMiB = 1024.0 * 1024.0;

constexpr int kRounds = 5;

// Runs pass() until at least 0.2 s has gone by and returns MB/s of nBytesPerPass.
double throughput(size_t nBytesPerPass, const std::function<void()> &pass) {
  using Clock = std::chrono::steady_clock;
  pass(); // warm-up
  size_t nPasses = 0;
  Clock::time_point tpStart = Clock::now();
  double dSeconds = 0;
  do {
    for (int i = 0; i < 8; ++i)
      pass();
    nPasses += 8;
    dSeconds = std::chrono::duration<double>(Clock::now() - tpStart).count();
  } while (dSeconds < 0.2);
  return static_cast<double>(nPasses * nBytesPerPass) / kMiB / dSeconds;
}

void opensslDes(const uint8_t *pIn, const uint8_t *pKey, uint8_t *pOut, size_t nLen) {
  DES_cblock key;
  std::memcpy(key, pKey, 8);
  DES_key_schedule schedule;
  DES_set_key_unchecked(&key, &schedule);
  for (size_t i = 0; i < nLen; i += 8)
    DES_ecb_encrypt(reinterpret_cast<const_DES_cblock *>(const_cast<uint8_t *>(pIn + i)),
                    reinterpret_cast<DES_cblock *>(pOut + i), &schedule, DES_ENCRYPT);
}

void openssl3Des(const uint8_t *pIn, const uint8_t *pKey, uint8_t *pOut, size_t nLen) {
  DES_cblock key1, key2;
  std::memcpy(key1, pKey, 8);
  std::memcpy(key2, pKey + 8, 8);
  DES_key_schedule schedule1, schedule2;
  DES_set_key_unchecked(&key1, &schedule1);
  DES_set_key_unchecked(&key2, &schedule2);
  for (size_t i = 0; i < nLen; i += 8)
    DES_ecb3_encrypt(reinterpret_cast<const_DES_cblock *>(const_cast<uint8_t *>(pIn + i)),
                     reinterpret_cast<DES_cblock *>(pOut + i), &schedule1, &schedule2, &schedule1,
                     DES_ENCRYPT);
}

double median(std::vector<double> vec) {
  std::sort(vec.begin(), vec.end());
  return vec[vec.size() / 2];
}

// Mine against libcrypto's, in turns; prints both medians and the median ratio.
void compare(const char *pstrMine, const char *pstrTheirs, const char *pstrRatio, size_t nBytes,
             const std::function<void()> &mine, const std::function<void()> &theirs) {
  std::vector<double> vecMine, vecTheirs, vecRatio;
  for (int i = 0; i < kRounds; ++i) {
    vecMine.push_back(throughput(nBytes, mine));
    vecTheirs.push_back(throughput(nBytes, theirs));
    vecRatio.push_back(vecMine.back() / vecTheirs.back());
  }
  std::printf("%s %.1f MB/s\n", pstrMine, median(vecMine));
  std::printf("%s %.1f MB/s\n", pstrTheirs, median(vecTheirs));
  std::printf("%s %.3f ratio\n", pstrRatio, median(vecRatio));
}

class CountingSink : public StreamFrameSink {
public:
  void onHead(const ZtipHead &) override {}
  void onKeyExchangeFrame(const ZtipHead &, const uint8_t *) override {}
  void onFrame(const ZtipHead &, const uint8_t *, uint32_t nDataLen) override {
    ++m_nFrames;
    m_nBytes += nDataLen;
  }
  size_t m_nFrames = 0;
  size_t m_nBytes = 0;
};

// MB/s of payload through readStream for a stream of encrypted frames, fed in recv-sized chunks.
double readerThroughput(size_t nFrameSize, const ZtipKeys &keys) {
  std::vector<uint8_t> payload(nFrameSize), frame, stream;
  for (size_t i = 0; i < payload.size(); ++i)
    payload[i] = static_cast<uint8_t>(i * 31);
  ZTIP_Head_Para para{};
  para.cmd = 0x1000;
  para.crypt_mode = 0x030F;
  FrameSender sender{1, 0x11, true, true};
  size_t nFrames = std::max<size_t>(1, (4 * 1024 * 1024) / nFrameSize);
  for (size_t i = 0; i < nFrames; ++i) {
    buildFrame(sender, keys, para, payload.data(), static_cast<int>(payload.size()), frame);
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
  ZtipRecvBuffer buffer;
  recvBufferAlloc(buffer);
  StreamReadOptions options;
  CountingSink sink;
  std::vector<double> vecMBps;
  auto readAll = [&] {
    size_t nDone = 0;
    while (nDone < stream.size()) {
      size_t nStep = std::min(recvRoom(buffer), stream.size() - nDone);
      std::memcpy(recvSpace(buffer), stream.data() + nDone, nStep);
      readStream(buffer, nStep, options, keys, sink);
      nDone += nStep;
    }
  };
  for (int i = 0; i < kRounds; ++i)
    vecMBps.push_back(throughput(nFrames * nFrameSize, readAll));
  if (sink.m_nBytes != sink.m_nFrames * nFrameSize || sink.m_nFrames % nFrames != 0)
    std::fprintf(stderr, "stream reader delivered wrong data\n");
  recvBufferFree(buffer);
  return median(vecMBps);
}

} // namespace

int main() {
  std::vector<uint8_t> in(kCipherBuffer), out(kCipherBuffer);
  for (size_t i = 0; i < in.size(); ++i)
    in[i] = static_cast<uint8_t>(i * 7);
  const uint8_t arrKey[16] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1,
                              0x0E, 0x32, 0x92, 0x32, 0xEA, 0x6D, 0x0D, 0x73};
  int nLen = static_cast<int>(kCipherBuffer);

  compare(
      "ztip_desrun_64k", "ztip_openssl_des_ecb_64k", "ztip_desrun_vs_openssl", kCipherBuffer,
      [&] { DesRun(in.data(), arrKey, 1, nLen, out.data()); },
      [&] { opensslDes(in.data(), arrKey, out.data(), kCipherBuffer); });
  compare(
      "ztip_des3run_64k", "ztip_openssl_des_ede_64k", "ztip_des3run_vs_openssl", kCipherBuffer,
      [&] { Des3Run(in.data(), arrKey, 1, nLen, out.data()); },
      [&] { openssl3Des(in.data(), arrKey, out.data(), kCipherBuffer); });

  ZtipKeys keys;
  uint8_t arrMaterial[kMaterialSize];
  generateKeyMaterial(arrMaterial);
  agreeSessionKeys(keys, arrMaterial);
  std::printf("ztip_stream_reader_030f_1k %.1f MB/s\n", readerThroughput(1024, keys));
  std::printf("ztip_stream_reader_030f_64k %.1f MB/s\n", readerThroughput(64 * 1024, keys));
  return 0;
}
