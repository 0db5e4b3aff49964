// Replaces the global operator new/delete of the test program (the libraries under test use
// them too) with malloc-based ones that can be told to fail once.
#include "allocation_failure.h"

#include <cstdlib>
#include <new>

namespace {

thread_local bool t_bFailNext = false;

} // namespace

namespace zt::test {

void failNextAllocation() {
  t_bFailNext = true;
}

} // namespace zt::test

void *operator new(std::size_t nSize) {
  if (t_bFailNext) {
    t_bFailNext = false;
    throw std::bad_alloc();
  }
  if (void *p = std::malloc(nSize != 0 ? nSize : 1)) {
    return p;
  }
  throw std::bad_alloc();
}

void *operator new[](std::size_t nSize) {
  return operator new(nSize);
}

void operator delete(void *p) noexcept {
  std::free(p);
}

void operator delete[](void *p) noexcept {
  std::free(p);
}

void operator delete(void *p, std::size_t) noexcept {
  std::free(p);
}

void operator delete[](void *p, std::size_t) noexcept {
  std::free(p);
}
