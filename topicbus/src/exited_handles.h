// Handles whose client has exited. Their memory stays valid (callers may still call them and
// get -4) until the library is unloaded.
#pragma once

#include "topicbus_client.h"

namespace zt::tb {

// Takes ownership of the handle unless it holds it already.
void keepExitedHandle(TopicbusHandle *pHandle);

} // namespace zt::tb
