/* A task in a process of its own: ztmq_echo ID ADDRESS. It binds ID at ADDRESS, prints "ready",
 * then for every message prints "got <source> <src_addr> <size> <sn> <reply result>" and sends
 * the data back to the source (at the address it learnt from the message). It ends when its
 * standard input is closed, returning from main with its task alive: the library stops it at
 * exit. Written in C against the public header, as an application would. */
#include <stdio.h>

#include "ztmq.h"

static const char *g_pstrId;

static void echo(const char *source, const char *data, int size, void *user, const ZtmqRecvInfo *info) {
  (void)user;
  int nReply = ZTSendMessage(g_pstrId, source, data, size, info->sn);
  printf("got %s %s %d %d %d\n", source, info->src_addr, size, info->sn, nReply);
  fflush(stdout);
}

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: ztmq_echo ID ADDRESS\n");
    return 2;
  }
  g_pstrId = argv[1];
  if (ZTConfigSetAddr(argv[1], argv[2]) != 0 || ZTCreateTaskEx(argv[1], echo, NULL, NULL) != 0) {
    return 1;
  }
  printf("ready\n");
  fflush(stdout);
  while (getchar() != EOF) {
  }
  return 0;
}
