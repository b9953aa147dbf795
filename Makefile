# The two commands of the README, plus benchmarks and fuzzing.
#   make run    install what is missing, build release, start the designer
#   make test   install, build with ASan+UBSan, run every test
#   make bench  build and run the benchmarks
#   make fuzz   build the libFuzzer targets with clang

JOBS ?= $(shell nproc)
CMAKE_GEN = -G Ninja

.PHONY: deps run build-release test build-test bench fuzz testdata tsan clean

deps:
	@bash scripts/install-deps.sh

build-release: deps
	cmake -S . -B build/release $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DTALLISYN_TESTS=OFF
	cmake --build build/release -j $(JOBS)

run: build-release
	build/release/bin/tallisyn $(ARGS)

testdata: deps
	@bash scripts/fetch-testdata.sh

build-test: deps
	cmake -S . -B build/test $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DTALLISYN_SANITIZE=ON \
	  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g"
	cmake --build build/test -j $(JOBS)

test: build-test testdata
	cd build/test && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
	  UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

tsan: deps
	cmake -S . -B build/tsan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DTALLISYN_TSAN=ON \
	  -DTALLISYN_APP=OFF -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g"
	cmake --build build/tsan -j $(JOBS)
	cd build/tsan && ctest --output-on-failure -j $(JOBS) -R '^(persist|text)\.'

bench: deps
	cmake -S . -B build/bench $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DTALLISYN_BENCH=ON \
	  -DTALLISYN_TESTS=OFF -DTALLISYN_APP=OFF
	cmake --build build/bench -j $(JOBS)
	@bash scripts/run-bench.sh build/bench/bin

fuzz: deps
	cmake -S . -B build/fuzz $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTALLISYN_FUZZ=ON \
	  -DTALLISYN_TESTS=OFF -DTALLISYN_APP=OFF
	cmake --build build/fuzz -j $(JOBS)
	@echo "fuzz targets: $$(ls build/fuzz/bin/fuzz_* 2>/dev/null | xargs -n1 basename | tr '\n' ' ')"
	@echo "run one: mkdir -p build/fuzz/work/NAME && build/fuzz/bin/fuzz_NAME build/fuzz/work/NAME fuzz/corpus/NAME -max_total_time=600"

clean:
	rm -rf build
