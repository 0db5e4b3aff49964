# bench_proxy: GetParam round trips and reports across two sites joined by two ztsi-proxy
# processes, beside the same exchange on one site.
if(TARGET ztsi-proxy AND TARGET ztsi AND TARGET ztdm)
  zt_bench(bench_proxy SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_proxy.cpp LIBS ztsi ztdm zt_test_support)
  target_compile_definitions(bench_proxy PRIVATE ZT_PROXY_EXECUTABLE="$<TARGET_FILE:ztsi-proxy>")
  add_dependencies(bench_proxy ztsi-proxy)
endif()
