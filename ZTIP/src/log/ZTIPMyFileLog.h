// The library's own daily log "<executable directory>/log/%Y-%m-%d-ztip.log": one line per
// call with a level and an area, process-wide switches, an optional broadcast of each line
// and a one-shot trace file "test.log" beside the log directory. The lines and files are the
// logging core's ZTIP line format and daily file policy; this adds what is ZTIP's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "log_option.h"

namespace zt::ip {

// Levels in use.
constexpr int kLogPeriodic = 0; // periodic and transfer records
constexpr int kLogStep = 1;     // steps of operations
constexpr int kLogEvent = 2;    // timings, thread start and stop, normal events
constexpr int kLogError = 3;

// Areas in use.
constexpr int kAreaQueue = 1;       // callback queues and memory
constexpr int kAreaThread = 2;      // threads and UDP reception
constexpr int kAreaAccept = 3;      // accepting connections
constexpr int kAreaKeyExchange = 4; // key exchange
constexpr int kAreaOperation = 5;   // operations, frames, sending
constexpr int kAreaConnection = 6;  // connections, heartbeats, time-outs, per-connection timings

constexpr size_t kMaxLogMessage = 1024;
constexpr int kLogBroadcastPort = 9527;

// Writes one line "YYYY-MM-DD hh:mm:ss.mmm  :log: level: L, area: A, <text>\n". Nothing is
// written when the log flag is off, the level is below the minimum, or the formatted text is
// empty or longer than 1,024 characters.
void ZTIPLog(int nLevel, int nArea, const char *pstrFormat, ...) __attribute__((format(printf, 3, 4)));

// At ztIP_Init: creates "<strBaseDir>/log", checks that today's file can be created and opens
// the trace file "<strBaseDir>/test.log". The default base is the executable's directory.
void openLibraryLog();
void openLibraryLog(const std::string &strBaseDir);
// At ztIP_Exit: closes the daily file, and the trace file if no line has closed it yet.
void closeLibraryLog();

// Today's log file path (empty before the log is opened).
std::string libraryLogPath();

// Switches; they keep their values across exit and a new init. Setting any of them closes the
// daily file and the next line opens it anew (an operator who removed the file gets a new one).
void setLogFlag(int nOn);       // on at load
void setLogLevel(int nMinimum); // 0 at load
void setTransLog(uint8_t uOn);  // off at load: broadcast every line
void setCompleteLog(int nOn);   // off at load: key-exchange frames reach the application
bool transLogOn();
bool completeLogOn();

// Sends one log line on the log socket (the connection code installs one that broadcasts a
// frame to port 9527). Lines logged while it runs are written but not broadcast again.
using LogBroadcaster = void (*)(const char *pstrText, size_t nLen);
void setLogBroadcaster(LogBroadcaster pBroadcaster);

// The wall clock used for line times and file dates; nullptr restores the system clock.
using LogClock = zt::log::LogClock;
void setLogClock(LogClock pClock);

} // namespace zt::ip
