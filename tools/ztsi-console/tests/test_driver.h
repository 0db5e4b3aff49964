// A driver on ztdm for the console tests: one face-recogniser device "D1" without parent whose
// Ctrl entry records what it was handed and answers "done".
#pragma once

#include "ztdm.h"

#include <string>
#include <vector>

namespace zt::test {

struct CtrlCall {
  std::string strDevId;
  int nSn = 0;
  // Exactly the request bytes with their length.
  std::string strData;
};

class TestDriver {
public:
  static constexpr int kVdt = 16;

  // Registers the driver table, the device "D1" named "Door" and a test case for vdt 3.
  explicit TestDriver(int nPort);
  ~TestDriver();
  TestDriver(const TestDriver &) = delete;
  TestDriver &operator=(const TestDriver &) = delete;

  ZtdmHandle *handle() const { return m_pHandle; }
  // The Ctrl requests received so far.
  static std::vector<CtrlCall> ctrlCalls();

private:
  ZtdmHandle *m_pHandle = nullptr;
};

} // namespace zt::test
