// Which CA the built-in sessions trust, and that they fail closed without one.
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <set>

#include "broker_suite.h"
#include "busline_handle.h"
#include "busline_test_client.h"
#include "ca_certificate.h"
#include "tls_context.h"
#include "trusted_ca.h"

using zt::bus::test::LogCapture;
using zt::bus::test::TestClient;

namespace {

const zt::bus::SessionTiming kFastTiming{std::chrono::milliseconds(300), std::chrono::milliseconds(50),
                                         std::chrono::milliseconds(100)};
const char kTestCaWarning[] = "is the repository's test CA";

// A fresh directory, removed with its content afterwards.
class ScratchDir {
public:
  ScratchDir() {
    char szTemplate[] = "/tmp/busline_trust_XXXXXX";
    m_strPath = mkdtemp(szTemplate);
  }
  ~ScratchDir() { std::system(("rm -rf '" + m_strPath + "'").c_str()); }
  const std::string &path() const { return m_strPath; }
  std::set<std::string> entries() const {
    std::set<std::string> setNames;
    if (DIR *pDir = opendir(m_strPath.c_str())) {
      while (dirent *pEntry = readdir(pDir)) {
        setNames.insert(pEntry->d_name);
      }
      closedir(pDir);
    }
    return setNames;
  }
  std::string write(const std::string &strName, const std::string &strContent) const {
    std::string strPath = m_strPath + "/" + strName;
    std::ofstream(strPath, std::ios::binary) << strContent;
    return strPath;
  }

private:
  std::string m_strPath;
};

// Sets (or, given null, unsets) an environment variable for the scope.
class ScopedEnv {
public:
  ScopedEnv(const char *pstrName, const char *pstrValue) : m_strName(pstrName) {
    const char *pstrOld = std::getenv(pstrName);
    m_bHadValue = pstrOld != nullptr;
    m_strOld = m_bHadValue ? pstrOld : "";
    pstrValue != nullptr ? setenv(pstrName, pstrValue, 1) : unsetenv(pstrName);
  }
  ~ScopedEnv() { m_bHadValue ? setenv(m_strName.c_str(), m_strOld.c_str(), 1) : unsetenv(m_strName.c_str()); }

private:
  std::string m_strName;
  std::string m_strOld;
  bool m_bHadValue;
};

// Points the system CA file at a path for the scope.
struct ScopedSystemCaFile {
  explicit ScopedSystemCaFile(const std::string &strPath) { zt::bus::setSystemCaFile(strPath); }
  ~ScopedSystemCaFile() { zt::bus::setSystemCaFile(zt::bus::kSystemCaFile); }
};

// A self-signed CA made now, with the same name as the project's CA but its own key.
std::string freshCaPem() {
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"), EVP_PKEY_free);
  std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), X509_free);
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3600);
  X509_set_pubkey(cert.get(), key.get());
  X509_NAME *pName = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(pName, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>("zt-test-ca"), -1,
                             -1, 0);
  X509_set_issuer_name(cert.get(), pName);
  X509_sign(cert.get(), key.get(), EVP_sha256());
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
  PEM_write_bio_X509(bio.get(), cert.get());
  char *pData = nullptr;
  long nLen = BIO_get_mem_data(bio.get(), &pData);
  return std::string(pData, size_t(nLen));
}

class Trust : public zt::test::BrokerSuite {
protected:
  BuslineHandle *open(TestClient &client) {
    zt::bus::SessionArgs args;
    args.nProtocol = 5;
    args.pConnectCallback = TestClient::onConnect;
    args.pRecvMessageCallback = TestClient::onMessage;
    args.pUserData = &client;
    return zt::bus::initConnectedSession("127.0.0.1", broker().port(), args, kFastTiming);
  }

  // A session is made but its TLS handshake fails, on the first attempt and on the retries.
  void expectHandshakeRefused() {
    TestClient client;
    std::unique_ptr<BuslineHandle, decltype(&busline_exit)> handle(open(client), busline_exit);
    ASSERT_NE(handle, nullptr);
    // Handshakes are slow on a loaded machine: a generous deadline for the first retries.
    EXPECT_TRUE(zt::test::waitFor([&] { return client.statuses().size() >= 3; }, std::chrono::seconds(30)));
    std::vector<int> vecStatus = client.statuses();
    EXPECT_EQ(std::count(vecStatus.begin(), vecStatus.end(), 0), 0);
    EXPECT_EQ(busline_get_connect_state(handle.get()), 0);
  }

  // No session at all, and one ERROR line that names the file.
  void expectRefusedWithOneError(const std::string &strFile) {
    LogCapture log;
    TestClient client;
    EXPECT_EQ(open(client), nullptr);
    EXPECT_EQ(log.count(3, ""), 1u);
    EXPECT_TRUE(log.has(3, "busline_init,CA load fail,strCaFile=" + strFile));
    EXPECT_EQ(nm_mqtt_init_session(nullptr, 1, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(nm_mqtt_subscribe("t", 0), -2); // no global session was left behind
    EXPECT_TRUE(client.statuses().empty());
  }

  ScratchDir m_dir;
  ScopedSystemCaFile m_noSystemFile{m_dir.path() + "/etc-ca.crt"};
  ScopedEnv m_noEnvFile{"ZT_CA_FILE", nullptr};
};

} // namespace

TEST(TlsContext, TrustsEveryCertificateOfThePemAndKnowsTheTestCa) {
  bool bTestCa = true;
  EXPECT_TRUE(zt::bus::makeTlsContext(freshCaPem(), bTestCa));
  EXPECT_FALSE(bTestCa);
  std::ifstream file(zt::test::Broker::caFile());
  std::string strProjectCa((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(zt::bus::makeTlsContext(freshCaPem() + strProjectCa, bTestCa));
  EXPECT_TRUE(bTestCa);
  EXPECT_FALSE(zt::bus::makeTlsContext("not a certificate", bTestCa));
  EXPECT_FALSE(zt::bus::makeTlsContext("", bTestCa));
}

TEST_F(Trust, CompiledInCaConnectsWithoutWritingAFile) {
  ScratchDir tmp, runtime;
  ScopedEnv tmpdir("TMPDIR", tmp.path().c_str());
  // The log's control socket, made when the first line is logged, has a directory of its own.
  ScopedEnv runtimeDir("XDG_RUNTIME_DIR", runtime.path().c_str());
  std::set<std::string> setBefore = tmp.entries();
  LogCapture log;
  TestClient client;
  BuslineHandle *pHandle = open(client);
  ASSERT_NE(pHandle, nullptr);
  EXPECT_TRUE(client.waitStatus(0));
  busline_exit(pHandle);
  EXPECT_EQ(tmp.entries(), setBefore);
  bool bTestCa = false;
  zt::bus::makeTlsContext(std::string(zt::bus::kCaCertificatePem, zt::bus::kCaCertificatePemSize), bTestCa);
  EXPECT_EQ(log.count(4, kTestCaWarning), bTestCa ? 1u : 0u);
}

TEST_F(Trust, FileNamedByTheEnvironmentComesFirst) {
  {
    ScopedEnv env("ZT_CA_FILE", zt::test::Broker::caFile().c_str());
    LogCapture log;
    TestClient first, second;
    BuslineHandle *pFirst = open(first);
    BuslineHandle *pSecond = open(second);
    EXPECT_TRUE(first.waitStatus(0));
    EXPECT_TRUE(second.waitStatus(0));
    EXPECT_EQ(log.count(4, kTestCaWarning), 2u); // one per session
    EXPECT_TRUE(log.has(4, "strCaFile=" + zt::test::Broker::caFile()));
    busline_exit(pFirst);
    busline_exit(pSecond);
  }
  // Even with a usable system file, a bad named file is not passed over.
  ScopedSystemCaFile systemFile(zt::test::Broker::caFile());
  const std::string strMissing = m_dir.path() + "/missing.crt";
  {
    ScopedEnv env("ZT_CA_FILE", strMissing.c_str());
    expectRefusedWithOneError(strMissing);
  }
  const std::string strText = m_dir.write("text.crt", "-----BEGIN CERTIFICATE-----\nnot base64\n");
  {
    ScopedEnv env("ZT_CA_FILE", strText.c_str());
    expectRefusedWithOneError(strText);
  }
  ScopedEnv env("ZT_CA_FILE", m_dir.write("fresh.crt", freshCaPem()).c_str());
  expectHandshakeRefused();
}

TEST_F(Trust, SystemFileComesBeforeTheCompiledInCa) {
  {
    ScopedSystemCaFile systemFile(m_dir.write("fresh.crt", freshCaPem()));
    expectHandshakeRefused();
  }
  {
    const std::string strText = m_dir.write("text.crt", "garbage");
    ScopedSystemCaFile systemFile(strText);
    expectRefusedWithOneError(strText);
  }
  ScopedSystemCaFile systemFile(zt::test::Broker::caFile());
  LogCapture log;
  TestClient client;
  BuslineHandle *pHandle = open(client);
  EXPECT_TRUE(client.waitStatus(0));
  EXPECT_TRUE(log.has(4, "strCaFile=" + zt::test::Broker::caFile()));
  busline_exit(pHandle);
}

TEST_F(Trust, GlobalSessionUsesTheSameCa) {
  ScopedEnv env("ZT_CA_FILE", m_dir.write("fresh.crt", freshCaPem()).c_str());
  TestClient client;
  ASSERT_EQ(nm_mqtt_init_session(nullptr, 1, TestClient::onConnect, TestClient::onMessage, &client), 0);
  nm_mqtt_connect("127.0.0.1", broker().port());
  ASSERT_TRUE(client.waitStatus(1));
  std::vector<int> vecStatus = client.statuses();
  EXPECT_EQ(std::count(vecStatus.begin(), vecStatus.end(), 0), 0);
  nm_mqtt_exit();
}
