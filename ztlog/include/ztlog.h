/* ztlog: the small logging library the SDKs call. Each channel writes one file,
 * "<executable directory>/log/<module>.log". Levels: 300 failure, 600 notice, 700 progress.
 *
 * Threads: both functions may be called from any thread at any time, also at the same time on
 * one channel. ztLogPrintf only queues the line; one writer thread per channel writes it to the
 * file within about 100 ms, and what is still queued is written out at normal exit. Channels
 * stay open for the life of the process. There are no callbacks. The format text and its
 * arguments are read before ztLogPrintf returns.
 * No C++ exception leaves either function: one that arises inside (out of memory) ends the call
 * (ztLogInit returns -1, the line is lost) and leaves one line on standard error. */
#ifndef ZTLOG_H
#define ZTLOG_H

#ifdef __cplusplus
extern "C" {
#endif

#define ZTLOG_API __attribute__((visibility("default")))

#define ZTLOG_LEVEL_ERROR 300
#define ZTLOG_LEVEL_NOTICE 600
#define ZTLOG_LEVEL_PROGRESS 700

/* Opens (or returns the existing) channel of a module; a negative value on failure. */
ZTLOG_API int ztLogInit(const char *pstrModuleName);
/* Writes one formatted line to a channel; an unknown channel writes nothing. */
ZTLOG_API void ztLogPrintf(int nChannel, int nLevel, const char *pstrFormat, ...)
    __attribute__((format(printf, 3, 4)));

#ifdef __cplusplus
}
#endif

#endif
