#include "library_setup.h"

#include <mosquitto.h>
#include <mutex>

namespace zt::bus {

namespace {

// libmosquitto counts its own set-up too, but not under a lock: the count here serialises ours.
std::mutex g_usersMutex;
int g_nUsers = 0;

} // namespace

MosquittoLibraryUse::MosquittoLibraryUse() {
  std::lock_guard<std::mutex> lock(g_usersMutex);
  if (g_nUsers++ == 0) {
    mosquitto_lib_init();
  }
}

MosquittoLibraryUse::~MosquittoLibraryUse() {
  std::lock_guard<std::mutex> lock(g_usersMutex);
  if (--g_nUsers == 0) {
    mosquitto_lib_cleanup();
  }
}

int MosquittoLibraryUse::users() {
  std::lock_guard<std::mutex> lock(g_usersMutex);
  return g_nUsers;
}

} // namespace zt::bus
