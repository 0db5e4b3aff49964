# ztdm: the request handling behind busline's receive callback.
zt_fuzzer(fuzz_ztdm_receive SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_ztdm_receive.cpp LIBS ztdm_core)
