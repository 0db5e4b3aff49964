# The project's commands. Each build kind has its own directory.
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: release deps test tsan bench fuzz demo package clean

# The default: a plain Release build of the libraries and programs; install it with
# cmake --install build-release --prefix DIR.
release: deps
	cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DZT_BUILD_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build build-release -j $(JOBS)

deps:
	@scripts/install-deps

# All tests under AddressSanitizer and UndefinedBehaviorSanitizer.
test: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug -DZT_SANITIZE=address $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS)
	cd build && ctest --output-on-failure -j $(JOBS)

# All tests under ThreadSanitizer.
tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DZT_SANITIZE=thread $(CMAKE_FLAGS)
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/scripts/tsan.supp" ctest --output-on-failure -j $(JOBS)

# Release build; every benchmark prints "name value unit" lines.
bench: deps
	cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DZT_BUILD_TESTS=OFF -DZT_BUILD_BENCH=ON $(CMAKE_FLAGS)
	cmake --build build-release -j $(JOBS)
	scripts/run-benchmarks build-release/bench

# libFuzzer harnesses, each for FUZZ_SECONDS.
FUZZ_SECONDS ?= 60
fuzz: deps
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DZT_SANITIZE=fuzzer -DZT_BUILD_TESTS=OFF -DZT_BUILD_FUZZ=ON $(CMAKE_FLAGS)
	cmake --build build-fuzz -j $(JOBS)
	scripts/run-fuzzers build-fuzz/fuzz $(FUZZ_SECONDS)

# The driver and the console on one site, then on two sites joined by ztsi-proxy (see scripts/demo).
demo: deps
	cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZT_BUILD_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build build-demo -j $(JOBS) --target ztdm-demo ztsi-console ztsi-proxy
	scripts/demo build-demo/bin

# The Debian packages libztaccess1, libztaccess-dev and ztaccess-tools, made in build-package/
# from a Release build for the prefix /usr.
package: deps
	cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DZT_BUILD_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr $(CMAKE_FLAGS)
	cmake --build build-package -j $(JOBS)
	cd build-package && cpack

clean:
	rm -rf build build-tsan build-release build-package build-fuzz build-demo
