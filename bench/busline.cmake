# Request/response round trips through the local TLS broker: busline and topicbus against raw
# libmosquitto.
zt_bench(bench_busline
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_busline.cpp
  LIBS busline topicbus zt_test_support zt_platform PkgConfig::MOSQUITTO)
target_include_directories(bench_busline PRIVATE ${PROJECT_SOURCE_DIR}/busline/include
                                                 ${PROJECT_SOURCE_DIR}/topicbus/include
                                                 ${PROJECT_SOURCE_DIR}/common/include)
