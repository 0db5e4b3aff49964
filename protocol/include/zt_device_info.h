/* DeviceInfo: the fixed 304-byte little-endian device record that travels as the payload of
 * every device announcement and through both SDK interfaces. Text fields are NUL-padded; a text
 * that fills its whole field has no terminator. Plain C, shared by the public SDK headers. */
#ifndef ZT_DEVICE_INFO_H
#define ZT_DEVICE_INFO_H

#include <stddef.h>
#include <stdint.h>

#define ZT_DEVICE_ID_SIZE 36
#define ZT_DEVICE_NAME_SIZE 64
#define ZT_DEVICE_PID_SIZE 36
#define ZT_DEVICE_DESC_SIZE 128
#define ZT_DEVICE_MODEL_SIZE 32
#define ZT_DEVICE_INFO_SIZE 304

typedef struct DeviceInfo {
  char id[ZT_DEVICE_ID_SIZE];       /* device identifier (devId) */
  int32_t type;                     /* device type, carried unchanged */
  int32_t vdt;                      /* visual device type */
  char name[ZT_DEVICE_NAME_SIZE];   /* device name */
  char pid[ZT_DEVICE_PID_SIZE];     /* parent device identifier, "0" for none */
  char desc[ZT_DEVICE_DESC_SIZE];   /* description */
  char model[ZT_DEVICE_MODEL_SIZE]; /* device model */
} DeviceInfo;

#ifdef __cplusplus
#define ZT_DEVICE_INFO_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define ZT_DEVICE_INFO_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

ZT_DEVICE_INFO_ASSERT(sizeof(DeviceInfo) == ZT_DEVICE_INFO_SIZE, "DeviceInfo is 304 bytes");
ZT_DEVICE_INFO_ASSERT(offsetof(DeviceInfo, id) == 0, "DeviceInfo.id at 0");
ZT_DEVICE_INFO_ASSERT(offsetof(DeviceInfo, type) == 36, "DeviceInfo.type at 36");
ZT_DEVICE_INFO_ASSERT(offsetof(DeviceInfo, vdt) == 40, "DeviceInfo.vdt at 40");
ZT_DEVICE_INFO_ASSERT(offsetof(DeviceInfo, name) == 44, "DeviceInfo.name at 44");
ZT_DEVICE_INFO_ASSERT(offsetof(DeviceInfo, pid) == 108, "DeviceInfo.pid at 108");
ZT_DEVICE_INFO_ASSERT(offsetof(DeviceInfo, desc) == 144, "DeviceInfo.desc at 144");
ZT_DEVICE_INFO_ASSERT(offsetof(DeviceInfo, model) == 272, "DeviceInfo.model at 272");
#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__)
ZT_DEVICE_INFO_ASSERT(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "DeviceInfo integers are little-endian");
#endif

#undef ZT_DEVICE_INFO_ASSERT

#endif
