# ztmq task to task (throughput and round trips, tcp and inproc) against raw libzmq DEALER sockets.
if(TARGET ztmq)
  zt_bench(bench_ztmq SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_ztmq.cpp LIBS ztmq zt_test_support PkgConfig::ZMQ)
  # The raw sockets send and receive multipart messages as the ztmq tests' raw peers do.
  target_include_directories(bench_ztmq PRIVATE ${PROJECT_SOURCE_DIR}/ztmq/tests)
endif()
