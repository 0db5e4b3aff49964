# bench_log: the asynchronous logger against spdlog's asynchronous logger on the same lines.
find_package(spdlog REQUIRED)
zt_bench(bench_log SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_log.cpp LIBS zt_log zt_platform spdlog::spdlog)
