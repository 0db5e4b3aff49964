# The message head reader of busline over arbitrary payloads.
zt_fuzzer(fuzz_busline_head
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_busline_head.cpp
  LIBS busline_core)

# The comm API's reader of received topics, and its round trip with the topics it builds.
zt_fuzzer(fuzz_comm_topic
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_comm_topic.cpp
  LIBS busline_core)
