# make demo   set up, build, play examples/ through the component
# make test   set up, build, run every test
# make sanitize   the whole suite under AddressSanitizer and UBSan
# make cross  the Windows DLLs (32- and 64-bit), checked
# make wine-test  the real DLL under Wine against the simulated machine

BUILD ?= build
GENERATOR := -G Ninja

.PHONY: setup build test demo sanitize fuzz bench cross wine-test clean

setup:
	@bash tools/setup.sh

build: setup
	@cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j2

demo: build
	@bash tools/demo.sh $(BUILD)

sanitize: setup
	@cmake -S . -B build-asan $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DKQXL_SANITIZE=ON >/dev/null
	@cmake --build build-asan
	@cd build-asan && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j2
	@$(MAKE) --no-print-directory fuzz

# Under libFuzzer with the sanitizers, FUZZ_SECONDS each: the PCL XL reader
# and checker, seeded with the Ghostscript-made documents; booklet jobs
# through the hooks, seeded with a few well-formed ones.
FUZZ_SECONDS ?= 60
fuzz: setup
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DKQXL_FUZZ=ON -DKQXL_SANITIZE=ON >/dev/null
	@cmake --build build-fuzz
	@mkdir -p build-fuzz/corpus && cp examples/*.pxl tests/data/*.pxl tests/data/fuzz/* build-fuzz/corpus/
	@build-fuzz/fuzz/pclxl_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=65536 -print_final_stats=1 \
	  -artifact_prefix=build-fuzz/ build-fuzz/corpus > build-fuzz/pclxl_fuzz.log 2>&1; \
	  rc=$$?; tail -n 12 build-fuzz/pclxl_fuzz.log; exit $$rc
	@mkdir -p build-fuzz/booklet-corpus && cp tests/data/fuzz-booklet/* build-fuzz/booklet-corpus/
	@ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp \
	  build-fuzz/fuzz/booklet_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -print_final_stats=1 \
	  -artifact_prefix=build-fuzz/ build-fuzz/booklet-corpus > build-fuzz/booklet_fuzz.log 2>&1; \
	  rc=$$?; tail -n 12 build-fuzz/booklet_fuzz.log; exit $$rc

# Benchmarks (not part of the tests): KQXL_BENCH_MB sets the stream size.
bench: build
	@$(BUILD)/bench/pclxl_bench
	@$(BUILD)/bench/spool_bench

cross: setup
	@for arch in i686 x86_64; do \
	  cmake -S . -B build-win-$$arch $(GENERATOR) -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$$arch.cmake >/dev/null && \
	  cmake --build build-win-$$arch && \
	  OBJDUMP=$$arch-w64-mingw32-objdump bash tools/check-windows-dll.sh build-win-$$arch/src/KQXLUMPD.DLL || exit 1; \
	done

# Every example and end-to-end job played by kqxl-run and by kqxl-run.exe with
# the real DLL under Wine, compared; then the check that it can fail.
wine-test: build cross
	@bash tools/setup-wine.sh
	@BUILD=$(CURDIR)/$(BUILD) bash tests/tools/kqxl-run-win/differential.sh
	@BUILD=$(CURDIR)/$(BUILD) bash tests/tools/kqxl-run-win/differential.sh --self-test

clean:
	rm -rf $(BUILD) build-asan build-fuzz build-win-i686 build-win-x86_64 build-wine
