# Application-to-driver round trips and reports through ztsi and ztdm, against raw libmosquitto.
if(TARGET ztsi AND TARGET ztdm)
  zt_bench(bench_ztsi
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_ztsi.cpp
    LIBS ztsi ztdm zt_test_support zt_platform PkgConfig::MOSQUITTO)
endif()
