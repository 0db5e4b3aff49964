// Makes the next operator new on the calling thread throw std::bad_alloc, as an exhausted heap would.
#pragma once

namespace zt::test {

void failNextAllocation();

} // namespace zt::test
