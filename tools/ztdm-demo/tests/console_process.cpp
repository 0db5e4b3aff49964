#include "console_process.h"

#include <csignal>
#include <fcntl.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace zt::test {
namespace {

size_t occurrences(const std::string &strText, const std::string &strPart) {
  size_t nCount = 0;
  for (size_t nPos = strText.find(strPart); nPos != std::string::npos;
       nPos = strText.find(strPart, nPos + strPart.size())) {
    ++nCount;
  }
  return nCount;
}

} // namespace

ConsoleProcess::ConsoleProcess(const std::string &strProgram, const std::vector<std::string> &vecArgs,
                               const std::string &strWorkDir) {
  // A program that ended before reading its input must not end the test.
  std::signal(SIGPIPE, SIG_IGN);
  int fdIn[2];
  int fdOut[2];
  if (pipe2(fdIn, O_CLOEXEC) != 0 || pipe2(fdOut, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  std::vector<char *> vecArgv;
  vecArgv.push_back(const_cast<char *>(strProgram.c_str()));
  for (const std::string &strArg : vecArgs) {
    vecArgv.push_back(const_cast<char *>(strArg.c_str()));
  }
  vecArgv.push_back(nullptr);

  m_pid = fork();
  if (m_pid == 0) {
    std::signal(SIGPIPE, SIG_DFL);
    dup2(fdIn[0], STDIN_FILENO);
    dup2(fdOut[1], STDOUT_FILENO);
    if (chdir(strWorkDir.c_str()) != 0) {
      _exit(126);
    }
    execv(strProgram.c_str(), vecArgv.data());
    _exit(127);
  }
  close(fdIn[0]);
  close(fdOut[1]);
  if (m_pid < 0) {
    close(fdIn[1]);
    close(fdOut[0]);
    throw std::runtime_error("fork failed");
  }
  m_nInputFd = fdIn[1];
  m_reader = std::thread([this, nFd = fdOut[0]] { readOutput(nFd); });
}

ConsoleProcess::~ConsoleProcess() {
  closeInput();
  if (m_pid > 0) {
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
  }
  m_reader.join();
}

void ConsoleProcess::sendLine(const std::string &strLine) {
  std::string strData = strLine + "\n";
  size_t nDone = 0;
  while (m_nInputFd >= 0 && nDone < strData.size()) {
    ssize_t nWritten = write(m_nInputFd, strData.data() + nDone, strData.size() - nDone);
    if (nWritten <= 0) {
      return;
    }
    nDone += static_cast<size_t>(nWritten);
  }
}

void ConsoleProcess::closeInput() {
  if (m_nInputFd >= 0) {
    close(m_nInputFd);
    m_nInputFd = -1;
  }
}

std::string ConsoleProcess::output() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_strOutput;
}

size_t ConsoleProcess::count(const std::string &strText) {
  std::lock_guard<std::mutex> lock(m_mutex);
  return occurrences(m_strOutput, strText);
}

bool ConsoleProcess::waitOutput(const std::string &strText, size_t nTimes,
                                std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_cvOutput.wait_for(lock, timeout, [&] { return occurrences(m_strOutput, strText) >= nTimes; });
}

int ConsoleProcess::waitExit(std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (m_pid > 0) {
    int nStatus = 0;
    pid_t pid = waitpid(m_pid, &nStatus, WNOHANG);
    if (pid == m_pid) {
      m_pid = -1;
      return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return -1;
}

void ConsoleProcess::readOutput(int nFd) {
  char szBuffer[4096];
  ssize_t nRead;
  while ((nRead = read(nFd, szBuffer, sizeof(szBuffer))) > 0) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_strOutput.append(szBuffer, static_cast<size_t>(nRead));
    }
    m_cvOutput.notify_all();
  }
  close(nFd);
}

} // namespace zt::test
