// libmosquitto's process-wide set-up, held by every session: the first session sets the library
// up and the last one cleans it up, so nothing runs at load or unload and an application that
// uses libmosquitto itself keeps its own set-up.
#pragma once

namespace zt::bus {

class MosquittoLibraryUse {
public:
  MosquittoLibraryUse();
  ~MosquittoLibraryUse();
  MosquittoLibraryUse(const MosquittoLibraryUse &) = delete;
  MosquittoLibraryUse &operator=(const MosquittoLibraryUse &) = delete;

  // Sessions holding the library now.
  static int users();
};

} // namespace zt::bus
