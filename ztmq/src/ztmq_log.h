// ztmq's log: the shared file logger, set up once per process from ztmq.cfg (log file
// <log dir>/<program>_ztmq.log), plus the trace file beside the executable and the application's
// log function. A line below the configured level goes nowhere.
#pragma once

namespace zt::mq {

enum LogLevel { kLogFatal = 0, kLogError = 3, kLogWarn = 4, kLogInfo = 6, kLogDebug = 7 };

using LogFunction = void (*)(int nLevel, const char *pstrText);

// Sets up the log on the first call; every line does this too.
void startLog();

void writeLog(const char *pstrFile, const char *pstrFunction, int nLine, int nLevel, const char *pstrFormat, ...)
    __attribute__((format(printf, 5, 6)));

// Every later line is also handed to pFunction (null: to nobody).
void setLogFunction(LogFunction pFunction);

} // namespace zt::mq

#define ZTMQ_LOG(level, ...) ::zt::mq::writeLog(__FILE__, __func__, __LINE__, (level), __VA_ARGS__)
#define ZTMQ_LOG_ERROR(...) ZTMQ_LOG(::zt::mq::kLogError, __VA_ARGS__)
#define ZTMQ_LOG_WARN(...) ZTMQ_LOG(::zt::mq::kLogWarn, __VA_ARGS__)
#define ZTMQ_LOG_INFO(...) ZTMQ_LOG(::zt::mq::kLogInfo, __VA_ARGS__)
#define ZTMQ_LOG_DEBUG(...) ZTMQ_LOG(::zt::mq::kLogDebug, __VA_ARGS__)
