# ZTIP ciphers against libcrypto's DES, and the TCP stream reader.
zt_bench(bench_ztip_cipher SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_ztip_cipher.cpp LIBS ztip_core OpenSSL::Crypto)
