# ZTIP frames over one loopback connection (release mode, crypt mode 0x030F) against raw loopback TCP.
zt_bench(bench_ztip_link SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_ztip_link.cpp LIBS ZTIP zt_test_support)
