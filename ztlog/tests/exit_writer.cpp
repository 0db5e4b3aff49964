// Test helper: ztlog_exit_writer <module> <lines> logs the lines and returns from main at once.
#include "ztlog.h"

#include <cstdlib>

int main(int argc, char **argv) {
  if (argc != 3) {
    return 2;
  }
  int nChannel = ztLogInit(argv[1]);
  int nLines = atoi(argv[2]);
  for (int i = 0; i < nLines; ++i) {
    ztLogPrintf(nChannel, ZTLOG_LEVEL_PROGRESS, "exit line %d", i);
  }
  return nChannel >= 0 ? 0 : 1;
}
