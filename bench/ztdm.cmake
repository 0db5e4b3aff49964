# bench_ztdm_request: request round trips through the real broker to a ztdm instance.
if(TARGET ztdm)
  zt_bench(bench_ztdm_request SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_ztdm_request.cpp
           ${PROJECT_SOURCE_DIR}/ztdm/tests/test_application.cpp
           LIBS ztdm busline zt_test_support)
  target_include_directories(bench_ztdm_request PRIVATE ${PROJECT_SOURCE_DIR}/ztdm/tests)
endif()
