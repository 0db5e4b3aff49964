#include "logger.h"

#include "control_server.h"
#include "daily_file.h"
#include "line_buffer.h"
#include "line_format.h"
#include "line_queue.h"
#include "log_file.h"
#include "rotating_file.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace zt::log {

namespace {

// The writer sleeps briefly after a busy pass and longer after a quiet one.
constexpr size_t kBusyPassLines = 51;
constexpr std::chrono::milliseconds kBusyPause(1);
constexpr std::chrono::milliseconds kQuietPause(100);
// Quiet passes (about 100 ms each) after which a buffered file is flushed: about once a minute.
constexpr int kQuietPassesBeforeFlush = 600;

LineRun runOf(const LineBatch &lines) {
  return LineRun{lines.strBytes.data(), lines.strBytes.size(), lines.vecLengths.data(),
                 lines.vecLengths.size()};
}

} // namespace

struct Logger::Impl {
  // Read on every record without a lock; the control socket may change the first four at any time.
  std::atomic<bool> m_bLogToStdout{false};
  std::atomic<bool> m_bLogToFile{false};
  std::atomic<bool> m_bLogFlushImmediately{false};
  std::atomic<int> m_nLogLevel{LOG_INFO};
  std::atomic<bool> m_bLogAsync{false};
  std::atomic<LineFormat> m_eFormat{LineFormat::Standard};
  std::atomic<bool> m_bFunctionName{false};
  std::atomic<LogClock> m_pClock{nullptr};

  // The file policy the option names, null while stopped. Writers take no lock of the logger's:
  // each policy guards its own file, and one that is stopped drops the lines of a writer that
  // still holds it.
  RotatingFile m_rotatingFile;
  DailyFile m_dailyFile;
  std::atomic<LogFile *> m_pFile{nullptr};

  LineQueue m_queue;
  std::thread m_writer;
  std::atomic<bool> m_bWriterRun{false};
  std::mutex m_wakeMutex;
  std::condition_variable m_wake;

  ControlServer m_control;
  std::mutex m_lifecycleMutex; // serialises start and stop

  std::chrono::system_clock::time_point now() const {
    LogClock pClock = m_pClock.load();
    return pClock != nullptr ? pClock() : std::chrono::system_clock::now();
  }
  void emit(const LineRun &lines, std::chrono::system_clock::time_point tpNow);
  bool enabled(int nLevel) const { return nLevel <= m_nLogLevel && (m_bLogToFile || m_bLogToStdout); }
  // When the level passes, builds the line around the message fnMessage(line) appends and
  // queues it for the writer or writes it at once.
  template <typename AppendMessage> void record(const LogRecord &record, AppendMessage fnMessage) {
    if (!enabled(record.nLevel)) {
      return;
    }
    const LineFormat eFormat = m_eFormat.load();
    const std::chrono::system_clock::time_point tpNow = now();
    LineBuffer line;
    beginLine(line, eFormat, m_bFunctionName.load(), record, tpNow);
    fnMessage(line);
    endLine(line, eFormat);
    if (m_bLogAsync) {
      m_queue.push(line.data(), line.size());
    } else {
      const uint32_t nLength = static_cast<uint32_t>(line.size());
      emit(LineRun{line.data(), line.size(), &nLength, 1}, tpNow);
    }
  }
  void runWriter();
  void stopWriter();
  void shutdown();
};

void Logger::Impl::emit(const LineRun &lines, std::chrono::system_clock::time_point tpNow) {
  if (lines.nLines == 0) {
    return;
  }
  LogFile *pFile = m_pFile.load();
  if (m_bLogToFile && pFile != nullptr) {
    pFile->write(lines, tpNow, m_bLogFlushImmediately);
  }
  if (m_bLogToStdout) {
    fwrite(lines.pData, 1, lines.nBytes, stdout); // one call: the lines stay whole
  }
}

void Logger::Impl::runWriter() {
  LineBatch batch;
  int nQuietPasses = 0;
  while (m_bWriterRun) {
    m_queue.takeAll(batch);
    emit(runOf(batch), now());
    if (batch.vecLengths.size() <= 1 && ++nQuietPasses > kQuietPassesBeforeFlush) {
      nQuietPasses = 0;
      LogFile *pFile = m_pFile.load();
      if (m_bLogToFile && !m_bLogFlushImmediately && pFile != nullptr) {
        pFile->flush();
      }
    }
    std::unique_lock<std::mutex> lock(m_wakeMutex);
    m_wake.wait_for(lock, batch.vecLengths.size() < kBusyPassLines ? kQuietPause : kBusyPause,
                    [this] { return !m_bWriterRun; });
  }
  // Whatever was queued before stop() goes out too.
  m_queue.takeAll(batch);
  emit(runOf(batch), now());
}

void Logger::Impl::stopWriter() {
  if (!m_writer.joinable()) {
    return;
  }
  {
    std::lock_guard<std::mutex> lock(m_wakeMutex);
    m_bWriterRun = false;
  }
  m_wake.notify_all();
  m_writer.join();
}

void Logger::Impl::shutdown() {
  m_control.stop();
  stopWriter();
  // From here on records are dropped, as before start().
  m_bLogToStdout = false;
  m_bLogToFile = false;
  m_bLogAsync = false;
  if (LogFile *pFile = m_pFile.exchange(nullptr)) {
    pFile->stop();
  }
  fflush(stdout);
  m_queue.clear();
}

Logger::Logger() : m_pImpl(new Impl) {}

Logger::~Logger() {
  stop();
  delete m_pImpl;
}

Logger &Logger::instance() {
  // Never destroyed, so threads that log while the process exits find it alive; the queue is
  // written out at normal exit and later records are dropped.
  static Logger *pLogger = [] {
    Logger *p = new Logger();
    std::atexit([] { instance().stop(); });
    return p;
  }();
  return *pLogger;
}

std::string Logger::controlSocketName(const std::string &strLogName) {
  return "pipe_name_50b665dc_9667_4a4b_83aa_7afa8de95f12_" + strLogName;
}

void Logger::start(const LogOption &option) {
  Impl &d = *m_pImpl;
  std::lock_guard<std::mutex> lifecycle(d.m_lifecycleMutex);
  d.shutdown();
  LogFile *pFile =
      option.eFiles == FilePolicy::Daily ? static_cast<LogFile *>(&d.m_dailyFile) : &d.m_rotatingFile;
  pFile->start(option);
  d.m_pFile = pFile;
  d.m_queue.clear();
  d.m_queue.setLimit(option.nAsyncQueueLimit);
  d.m_bLogFlushImmediately = option.bLogFlushImmediately;
  d.m_nLogLevel = option.nLogLevel;
  d.m_eFormat = option.eFormat;
  d.m_bFunctionName = option.bLogFuctionName;
  d.m_pClock = option.pClock;
  d.m_bLogAsync = option.bLogAsync;
  if (option.bLogAsync) {
    d.m_bWriterRun = true;
    d.m_writer = std::thread(&Impl::runWriter, &d);
  }
  // Records flow only once everything above is in place.
  d.m_bLogToStdout = option.bLogToStdout;
  d.m_bLogToFile = option.bLogToFile;
  if (option.bControlSocket) {
    // Without the socket the log still works; it just cannot be retuned from outside.
    std::string strName = controlSocketName(option.strLogName);
    ControlStart eStart = d.m_control.start(strName, [this](const ControlRequest &request) {
      applyControl(request.bLogToStdout, request.bLogToFile, request.bLogFlushImmediately, request.nLogLevel);
    });
    if (eStart == ControlStart::InUse) {
      write(__FILE__, __func__, __LINE__, LOG_WARN,
            "Logger::start,control socket @%s is served by another log of this name,running without one",
            strName.c_str());
    }
  }
}

void Logger::stop() {
  std::lock_guard<std::mutex> lifecycle(m_pImpl->m_lifecycleMutex);
  m_pImpl->shutdown();
}

void Logger::write(const char *pstrFile, const char *pstrFunction, int nLine, int nLevel,
                   const char *pstrFormat, ...) {
  va_list args;
  va_start(args, pstrFormat);
  vwrite(pstrFile, pstrFunction, nLine, nLevel, pstrFormat, args);
  va_end(args);
}

void Logger::vwrite(const char *pstrFile, const char *pstrFunction, int nLine, int nLevel,
                    const char *pstrFormat, va_list args) {
  m_pImpl->record(LogRecord{nLevel, pstrFile, pstrFunction, nLine}, [&](LineBuffer &line) {
    // An encoding error leaves the message empty rather than losing the whole record.
    line.appendFormat(pstrFormat != nullptr ? pstrFormat : "", args);
  });
}

void Logger::writeText(const char *pstrFile, const char *pstrFunction, int nLine, int nLevel,
                       const char *pText, size_t nLength) {
  writeText(LogRecord{nLevel, pstrFile, pstrFunction, nLine}, pText, nLength);
}

void Logger::writeText(const LogRecord &record, const char *pText, size_t nLength) {
  m_pImpl->record(record, [&](LineBuffer &line) { line.append(pText, nLength); });
}

void Logger::applyControl(bool bLogToStdout, bool bLogToFile, bool bLogFlushImmediately, int nLogLevel) {
  Impl &d = *m_pImpl;
  d.m_bLogToStdout = bLogToStdout;
  d.m_bLogToFile = bLogToFile;
  d.m_bLogFlushImmediately = bLogFlushImmediately;
  d.m_nLogLevel = nLogLevel;
  LogFile *pFile = d.m_pFile.load();
  if (bLogToFile && bLogFlushImmediately && pFile != nullptr) {
    pFile->flush();
  }
}

bool Logger::enabled(int nLevel) const {
  return m_pImpl->enabled(nLevel);
}

void Logger::openFile() {
  if (LogFile *pFile = m_pImpl->m_pFile.load()) {
    pFile->open(m_pImpl->now());
    if (m_pImpl->m_bLogFlushImmediately) {
      pFile->flush(); // the header of a fresh file
    }
  }
}

void Logger::reopenFile() {
  if (LogFile *pFile = m_pImpl->m_pFile.load()) {
    pFile->close();
  }
}

std::string Logger::filePath() const {
  LogFile *pFile = m_pImpl->m_pFile.load();
  return pFile != nullptr ? pFile->path() : std::string();
}

} // namespace zt::log
