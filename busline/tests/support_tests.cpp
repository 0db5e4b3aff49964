// The local IP list, the certificate file and the library log level mapping.
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <mosquitto.h>
#include <thread>

#include "ca_certificate.h"
#include "local_ip_list.h"
#include "logger.h"
#include "zt_mosquitto_sdk.h"

using namespace busline;

TEST(LocalIpList, JoinsAddressesInOrderWithoutEmptyOrUnspecified) {
  std::vector<zt::platform::Adapter> vecAdapters(2);
  vecAdapters[0].vecIpv4 = {"192.168.1.20", "0.0.0.0", ""};
  vecAdapters[1].vecIpv4 = {"10.0.0.7", "192.168.1.20"};
  EXPECT_EQ(joinIpList(vecAdapters), "192.168.1.20|10.0.0.7|192.168.1.20");
  EXPECT_EQ(joinIpList({}), "");
}

TEST(CaCertificate, WrittenByteForByteWithCrLfLines) {
  std::string strPath = writeCaCertificateFile();
  EXPECT_EQ(strPath, caCertificatePath());
  EXPECT_NE(strPath.find("_busline_cert.tmp"), std::string::npos);
  std::ifstream file(strPath, std::ios::binary);
  std::string strContent((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(strContent, std::string(kCaCertificatePem, kCaCertificatePemSize));
  EXPECT_EQ(strContent.rfind("-----BEGIN CERTIFICATE-----\r\n", 0), 0u);
  EXPECT_EQ(strContent.substr(strContent.size() - 27), "-----END CERTIFICATE-----\r\n");
  for (size_t nPos = strContent.find('\n'); nPos != std::string::npos;
       nPos = strContent.find('\n', nPos + 1)) {
    ASSERT_EQ(strContent[nPos - 1], '\r') << "at " << nPos;
  }
}

// Sessions created on several threads rewrite the file while others read it.
TEST(CaCertificate, ReadersNeverSeeAPartialFile) {
  std::atomic<bool> bStop{false};
  std::thread writer([&] {
    while (!bStop.load()) {
      writeCaCertificateFile();
    }
  });
  const std::string strExpected(kCaCertificatePem, kCaCertificatePemSize);
  int nPartial = 0;
  for (int i = 0; i < 2000; ++i) {
    std::ifstream file(caCertificatePath(), std::ios::binary);
    std::string strContent((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    nPartial += strContent != strExpected ? 1 : 0;
  }
  bStop = true;
  writer.join();
  EXPECT_EQ(nPartial, 0);
}

TEST(LibraryLog, LevelsMapToTheLogModule) {
  EXPECT_EQ(logLevelOfLibrary(MOSQ_LOG_INFO), zt::LOG_INFO);
  EXPECT_EQ(logLevelOfLibrary(MOSQ_LOG_NOTICE), zt::LOG_NOTICE);
  EXPECT_EQ(logLevelOfLibrary(MOSQ_LOG_WARNING), zt::LOG_WARN);
  EXPECT_EQ(logLevelOfLibrary(MOSQ_LOG_ERR), zt::LOG_ERROR);
  EXPECT_EQ(logLevelOfLibrary(MOSQ_LOG_DEBUG), zt::LOG_DEBUG);
  EXPECT_EQ(logLevelOfLibrary(MOSQ_LOG_SUBSCRIBE), zt::LOG_DEBUG);
}
