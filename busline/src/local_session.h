// The process-wide sessions of the comm and stub APIs: MQTT 3.1.1 with the message head, on
// the local broker (see local_broker_address.h), secured and connecting as busline_init does.
#pragma once

#include "busline_handle.h"

namespace zt::bus {

// The session waits of the comm and stub handles created from now on (tests shorten them).
void setLocalSessionTiming(const SessionTiming &timing);

// Opens a connecting session with the given callbacks and module name; null when none could
// be made. pstrCaller names the exported function in the log.
BuslineHandle *openLocalSession(const char *pstrCaller, const char *pstrModule,
                                nm_mqtt_connect_callback pConnectCallback,
                                nm_mqtt_recv_message_callback pRecvMessageCallback);

} // namespace zt::bus
