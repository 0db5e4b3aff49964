# ztsi: topics and payloads as busline's receive callback hands them to an instance.
if(TARGET ztsi_core)
  zt_fuzzer(fuzz_ztsi_receive SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_ztsi_receive.cpp LIBS ztsi_core)
endif()
