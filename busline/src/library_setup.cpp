// The MQTT library is initialised once when this library is loaded and cleaned up once
// when it is unloaded; sessions never do either.
#include <mosquitto.h>

namespace {

struct MosquittoLibrary {
  MosquittoLibrary() { mosquitto_lib_init(); }
  ~MosquittoLibrary() { mosquitto_lib_cleanup(); }
};

const MosquittoLibrary g_mosquittoLibrary;

} // namespace
