// A console program run as a child process for the tests: its standard input is a pipe the
// test writes lines to, its standard output is collected by a reader thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace zt::test {

class ConsoleProcess {
public:
  // Starts strProgram with the arguments in the working directory strWorkDir.
  ConsoleProcess(const std::string &strProgram, const std::vector<std::string> &vecArgs,
                 const std::string &strWorkDir);
  // Kills the program (by its pid) if it still runs.
  ~ConsoleProcess();
  ConsoleProcess(const ConsoleProcess &) = delete;
  ConsoleProcess &operator=(const ConsoleProcess &) = delete;

  // Writes one line (a line end is added).
  void sendLine(const std::string &strLine);
  void closeInput();

  // Everything the program printed so far.
  std::string output();
  // How often strText occurs in the output.
  size_t count(const std::string &strText);
  // Waits until strText occurs at least nTimes times in the output.
  bool waitOutput(const std::string &strText, size_t nTimes = 1,
                  std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
  // Waits for the program to end; its exit code, or -1 when it did not end in time or was killed.
  int waitExit(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

private:
  void readOutput(int nFd);

  pid_t m_pid = -1;
  int m_nInputFd = -1;
  std::thread m_reader;
  std::mutex m_mutex;
  std::condition_variable m_cvOutput;
  std::string m_strOutput;
};

} // namespace zt::test
