# The message head reader of busline over arbitrary payloads.
zt_fuzzer(fuzz_busline_head
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_busline_head.cpp
  LIBS busline_core)
