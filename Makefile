# make help   this list
# make demo   set up, build what the examples need, play examples/ through the component
# make test   set up, build, run every test
# make sanitize   the whole suite under AddressSanitizer and UBSan, the
#                 concurrency tests under ThreadSanitizer, the fuzz targets
# make tsan       the concurrency tests under ThreadSanitizer
# make cross  the Windows DLLs (32- and 64-bit), checked, and the Win32
#             conformance suite as conformance.exe
# make wine-test  the conformance suite under Wine, then the real DLL under
#                 Wine against the simulated machine
# make mutate     mutation testing of src/ (not in CI; MUTATE_ARGS="--count N --seed S")
# make differential  the PCL XL checker against the interpreter, 20,000 mutants
# make bench-compare BASE=<commit>  the job path's benchmarks of BASE and of
#                 the tree, built side by side and run alternating

BUILD ?= build
GENERATOR := -G Ninja

.PHONY: help setup build test demo sanitize tsan fuzz bench bench-compare cross wine-test mutate differential clean

help:
	@sed -n '/^# make/,/^$$/p' Makefile | sed 's/^# \{0,1\}//'

setup:
	@bash tools/setup.sh

build: setup
	@cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j2

# The report first: the examples need only the component, the machine and
# the tools; the suites and benchmarks build after it.
demo: setup
	@cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) --target demo-tools
	@bash tools/demo.sh $(BUILD)

# intercept_tls_get_addr=0: LeakSanitizer does not follow the thread-local
# blocks of modules loaded at run time. Its record of them goes stale when a
# job frees the component (dlclose), and its tracer then crashes as the
# process ends ("Tracer caught signal 11", "DTLS ... at 0x6a2-..."), whatever
# the test did; the modules' own thread-locals hold no heap memory.
SANITIZE_ENV := ASAN_OPTIONS=detect_leaks=1:intercept_tls_get_addr=0 \
  LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp UBSAN_OPTIONS=print_stacktrace=1
sanitize: setup
	@cmake -S . -B build-asan $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DKQXL_SANITIZE=ON >/dev/null
	@cmake --build build-asan
	@cd build-asan && $(SANITIZE_ENV) ctest --output-on-failure -j2
	@$(MAKE) --no-print-directory tsan
	@$(MAKE) --no-print-directory fuzz

# Jobs on several printers at once, on threads of one machine and as
# several scripts of one kqxl-run: any data race fails the run. First the
# race canary: a driver module whose hooks race must be reported, or the
# machine is ordering the printers' threads and would hide the component's.
TSAN_WINSIM := RaceCanary.*:Spooler.ABoxLeftUpDoesNotHoldUpAnotherPrinter*
TSAN_COMPONENT := TwoPrinters.*:WatermarkConcurrency.*:OverlayLibrary.TwoThreads*:TextCapture.TwoJobsAtOnce
TSAN_TOOLS := Runner.SeveralScriptsAtOnce*:Runner.AMixOfEveryKind*
tsan: setup
	@cmake -S . -B build-tsan $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKQXL_TSAN=ON >/dev/null
	@cmake --build build-tsan --target winsim_tests component_tests tool_tests
	@cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  tests/winsim_tests --gtest_filter='$(TSAN_WINSIM)' --gtest_brief=1 && \
	  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  tests/component_tests --gtest_filter='$(TSAN_COMPONENT)' --gtest_brief=1 && \
	  TSAN_OPTIONS="halt_on_error=1" tests/tool_tests --gtest_filter='$(TSAN_TOOLS)' --gtest_brief=1

# Under libFuzzer with the sanitizers, FUZZ_SECONDS each, every target with
# its seed corpus: the PCL XL reader and checker (the Ghostscript-made
# documents), booklet jobs and the whole write path through the hooks, the
# job script reader (the examples), the profile and registry file readers.
FUZZ_SECONDS ?= 30
FUZZ_BUILD ?= Debug
FUZZ_DIR ?= build-fuzz
FUZZ_TARGETS := pclxl:65536:examples/*.pxl,tests/data/*.pxl,tests/data/fuzz/*,tests/data/fuzz-pclxl/* \
  booklet:4096:tests/data/fuzz-booklet/* writepath:8192:tests/data/fuzz-writepath/* \
  jobscript:8192:examples/*.job,tests/tools/kqxl-run-win/jobs/*.job,tests/data/fuzz-jobscript/* \
  profile:8192:machine/image/WINDOWS/system32/spool/drivers/w32x86/2/*.INI,machine/image/winsim/printers.ini \
  registry:8192:tests/data/fuzz-registry/*
fuzz: setup
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) $(GENERATOR) -DCMAKE_BUILD_TYPE=$(FUZZ_BUILD) -DKQXL_FUZZ=ON -DKQXL_SANITIZE=ON >/dev/null
	@cmake --build $(FUZZ_DIR)
	@for t in $(FUZZ_TARGETS); do \
	  name=$${t%%:*}; rest=$${t#*:}; len=$${rest%%:*}; seeds=$${rest#*:}; \
	  rm -rf $(FUZZ_DIR)/corpus-$$name && mkdir -p $(FUZZ_DIR)/corpus-$$name && \
	  cp $$(echo $$seeds | tr , ' ') $(FUZZ_DIR)/corpus-$$name/ && \
	  $(SANITIZE_ENV) \
	    $(FUZZ_DIR)/fuzz/$${name}_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=$$len -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_DIR)/$$name- $(FUZZ_DIR)/corpus-$$name > $(FUZZ_DIR)/$$name.log 2>&1; \
	  rc=$$?; echo "== $${name}_fuzz"; grep -E "^stat::number_of_executed_units|^SUMMARY|ERROR" $(FUZZ_DIR)/$$name.log | head -n 5; \
	  [ $$rc -eq 0 ] || { tail -n 30 $(FUZZ_DIR)/$$name.log; exit $$rc; }; \
	done

# Benchmarks (not part of the tests): KQXL_BENCH_MB sets the stream size.
bench: build
	@$(BUILD)/bench/pclxl_bench
	@$(BUILD)/bench/spool_bench
	@$(BUILD)/bench/soak_bench
	@$(BUILD)/bench/process_bench
	@$(BUILD)/bench/overlay_bench
	@$(BUILD)/bench/watermark_bench
	@bash bench/instructions.sh $(BUILD)

# For any change on a job's path (docs/performance.md): BASE is the commit
# it started from; ROUNDS alternating rounds (2).
bench-compare: setup
	@[ -n "$(BASE)" ] || { echo "make bench-compare: give BASE=<commit>"; exit 2; }
	@bash tools/bench-compare.sh $(BASE) $(ROUNDS)

cross: setup
	@for arch in i686 x86_64; do \
	  cmake -S . -B build-win-$$arch $(GENERATOR) -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$$arch.cmake >/dev/null && \
	  cmake --build build-win-$$arch && \
	  OBJDUMP=$$arch-w64-mingw32-objdump bash tools/check-windows-dll.sh build-win-$$arch/src/KQXLUMPD.DLL && \
	  cmake -S . -B build-win-$$arch-conformance $(GENERATOR) -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$$arch.cmake -DKQXL_MINGW_THREADS=-posix -DKQXL_CONFORMANCE_ONLY=ON >/dev/null && \
	  cmake --build build-win-$$arch-conformance && \
	  OBJDUMP=$$arch-w64-mingw32-objdump bash tools/check-conformance-coverage.sh build-win-$$arch/src/KQXLUMPD.DLL \
	    build-win-$$arch/modules/KQXLO.DLL || exit 1; \
	done

# Every example and end-to-end job played by kqxl-run and by kqxl-run.exe with
# the real DLL under Wine, compared; then the check that it can fail.
wine-test: build cross
	@bash tools/setup-wine.sh
	@bash tests/winsim/conformance/run-wine.sh
	@BUILD=$(CURDIR)/$(BUILD) bash tests/tools/kqxl-run-win/differential.sh
	@BUILD=$(CURDIR)/$(BUILD) bash tests/tools/kqxl-run-win/differential.sh --self-test

# The checker against the interpreter over more mutants than make test's
# (not in CI; needs an interpreter).
KQXL_MUTANTS ?= 20000
differential: build
	@KQXL_MUTANTS=$(KQXL_MUTANTS) $(BUILD)/tests/printer_tests --gtest_filter='CheckerDifferential.*'

# Mutants of src/ from its syntax tree, one at a time, each built in
# build-mutate/ and run against the component's suites and the printer's;
# the survivors and the score in build-mutate/report.md.
mutate: setup
	@/usr/bin/python3 tools/mutate/mutate.py $(MUTATE_ARGS)

clean:
	rm -rf $(BUILD) build-mutate build-asan build-tsan build-fuzz build-fuzz-long build-win-i686 build-win-x86_64 \
	  build-win-i686-conformance build-win-x86_64-conformance build-wine
