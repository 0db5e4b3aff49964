# bench_log: the asynchronous logger against spdlog's asynchronous logger on the same lines, and
# ZTIP's daily library log against a raw snprintf-and-write() append.
find_package(spdlog REQUIRED)
zt_bench(bench_log SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_log.cpp LIBS zt_log ztip_core zt_platform spdlog::spdlog)
# The benchmark's own loops (spdlog's is inlined here) start on a cache line whatever the code
# linked before them, so that a change in the libraries does not move the baseline.
target_compile_options(bench_log PRIVATE -falign-functions=64)
