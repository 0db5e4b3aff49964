// The cipher functions as applications see them: loaded from libZTIP.so by name, with the
// library's internals hidden.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>

#include "ZTIP.h"

namespace {

struct Library {
  Library() : m_pHandle(dlopen(ZTIP_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL)) {}
  ~Library() {
    if (m_pHandle != nullptr)
      dlclose(m_pHandle);
  }
  template <typename Fn> Fn symbol(const char *pstrName) {
    return reinterpret_cast<Fn>(dlsym(m_pHandle, pstrName));
  }
  void *m_pHandle;
};

} // namespace

TEST(ZtipExports, CipherFunctionsExportedAndWorking) {
  Library lib;
  ASSERT_NE(nullptr, lib.m_pHandle) << dlerror();
  auto pDesRun = lib.symbol<decltype(&DesRun)>("DesRun");
  auto pDes3Run = lib.symbol<decltype(&Des3Run)>("Des3Run");
  auto pDesCbcRun = lib.symbol<decltype(&DesCbcRun)>("DesCbcRun");
  auto pEncryptInfo = lib.symbol<decltype(&EncryptInfo)>("EncryptInfo");
  auto pDecryptInfo = lib.symbol<decltype(&DecryptInfo)>("DecryptInfo");
  ASSERT_TRUE(pDesRun && pDes3Run && pDesCbcRun && pEncryptInfo && pDecryptInfo);

  // The first published DES vector in the library's bit order.
  const uint8_t arrKey[8] = {0xC8, 0x2C, 0xEA, 0x9E, 0xD9, 0x3D, 0xFB, 0x8F};
  const uint8_t arrPlain[8] = {0x80, 0xC4, 0xA2, 0xE6, 0x91, 0xD5, 0xB3, 0xF7};
  const uint8_t arrCipher[8] = {0xA1, 0x17, 0xC8, 0x2A, 0xF0, 0x50, 0x2D, 0xA0};
  uint8_t arrOut[16];
  pDesRun(arrPlain, arrKey, 1, 8, arrOut);
  EXPECT_EQ(0, std::memcmp(arrOut, arrCipher, 8));
  const uint8_t arrNine[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(16, pDesCbcRun(arrNine, arrKey, 1, 9, arrOut));
  EXPECT_EQ(0, pDesCbcRun(nullptr, arrKey, 1, 9, arrOut));

  uint8_t arrMaterial[32], arrBack[16];
  for (int i = 0; i < 32; ++i)
    arrMaterial[i] = static_cast<uint8_t>(i < 16 ? 15 - i : i * 9);
  EXPECT_EQ(1, pEncryptInfo(arrPlain, arrOut, arrMaterial, 8));
  EXPECT_EQ(1, pDecryptInfo(arrOut, arrBack, arrMaterial, 8));
  EXPECT_EQ(0, std::memcmp(arrBack, arrPlain, 8));

  // Internal functions stay inside the library.
  EXPECT_EQ(nullptr, dlsym(lib.m_pHandle, "_ZN4ztip11crc16XmodemEPKhm"));
  EXPECT_EQ(nullptr, dlsym(lib.m_pHandle, "_ZN4ztip10readStreamERNS_14ZtipRecvBufferEmRKNS_"
                                          "17StreamReadOptionsERKNS_8ZtipKeysERNS_15StreamFrameSinkE"));
}
