# The two commands of the README, plus benchmarks and fuzzing.
#   make run    install what is missing, build release, start the designer
#   make install  the designer, its desktop entry and icons under PREFIX
#   make test   install, build with ASan+UBSan, run every test
#   make bench  build and run the benchmarks
#   make fuzz   build the libFuzzer targets with clang

JOBS ?= $(shell nproc)
CMAKE_GEN = -G Ninja

.PHONY: deps run build-release install screenshot test build-test bench fuzz testdata tsan clean

deps:
	@bash scripts/install-deps.sh

build-release: deps
	cmake -S . -B build/release $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DTALLISYN_TESTS=OFF
	cmake --build build/release -j $(JOBS)

run: build-release
	build/release/bin/tallisyn $(ARGS)

# The programs, the desktop entry, the file types and the icon theme.
PREFIX ?= /usr/local
install: build-release
	cmake --install build/release --prefix $(PREFIX)
	-update-desktop-database -q $(PREFIX)/share/applications 2>/dev/null
	-update-mime-database $(PREFIX)/share/mime 2>/dev/null
	-gtk-update-icon-cache -q -t $(PREFIX)/share/icons/hicolor 2>/dev/null

# A picture of the main window under Xvfb: make screenshot [SHOT=out.png] [ARGS=file.fbd]
SHOT ?= build/screenshot.png
screenshot: build-release
	bash scripts/screenshot.sh $(SHOT) $(ARGS)

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
