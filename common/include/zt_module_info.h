/* The module information record that every library's information call fills:
 * four zero-terminated 64-byte texts. Plain C, shared by the public headers. */
#ifndef ZT_MODULE_INFO_H
#define ZT_MODULE_INFO_H

typedef struct ZtModuleInfo {
  char szVersion[64];    /* e.g. "1.1.3" */
  char szBuildTime[64];  /* e.g. "2021-04-14 10:53:56" */
  char szModuleType[64]; /* module type code */
  char szModuleName[64]; /* library name */
} ZtModuleInfo;

#ifdef __cplusplus
static_assert(sizeof(ZtModuleInfo) == 256, "the module information record is 256 bytes");
#endif

#endif
