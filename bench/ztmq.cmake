# ztmq task to task (throughput and round trips, tcp and inproc) against raw libzmq DEALER sockets.
if(TARGET ztmq)
  zt_bench(bench_ztmq SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_ztmq.cpp LIBS ztmq zt_test_support PkgConfig::ZMQ)
endif()
