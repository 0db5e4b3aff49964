# ZTIP: the TCP stream reader (with decryption) and the UDP datagram reader.
zt_fuzzer(fuzz_ztip_stream SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_ztip_stream.cpp LIBS ztip_core)
zt_fuzzer(fuzz_ztip_udp SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_ztip_udp.cpp LIBS ztip_core)
