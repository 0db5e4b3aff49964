# ztmq: the decoder of received messages.
zt_fuzzer(fuzz_ztmq_decoder SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_ztmq_decoder.cpp LIBS ztmq_core)
