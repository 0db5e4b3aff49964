# bench_bridge: GetParam round trips and reports across two mosquitto nodes joined by a bridge,
# beside the same exchange on one broker.
if(TARGET ztsi AND TARGET ztdm)
  zt_bench(bench_bridge SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_bridge.cpp LIBS ztsi ztdm zt_test_support)
endif()
