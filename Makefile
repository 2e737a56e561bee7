# The two commands of the README:
#   make run   installs what is missing, builds and starts Folivant
#   make test  installs what is missing, builds and runs every test headless
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: setup build run test format format-check layer-check bench clean fuzz fuzz-ci \
  test-sanitize

setup:
	bash scripts/setup

build: setup
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

# The demo project is put into the Notes folder beside the program unless it is there.
DEMO_DIR = $(BUILD)/src/app/Notes/Minuet

run: build
	@if [ ! -e "$(DEMO_DIR)/Minuet.nts" ]; then \
	  mkdir -p "$(DEMO_DIR)" && \
	  cp assets/demo/Minuet.nts assets/demo/Minuet.ntf assets/demo/Minuet.mp3 assets/demo/Minuet_*.jpg "$(DEMO_DIR)/"; \
	fi
	$(BUILD)/src/app/folivant

test: build format-check layer-check
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

# Each library includes and links only the libraries below it.
layer-check:
	bash scripts/check-layers

bench: build
	for b in $(BUILD)/bench/bench_*; do $$b; done

# Fuzzing (clang, libFuzzer) in build-fuzz: `make fuzz` runs every harness under fuzz/ for
# FUZZ_SECONDS each; `make fuzz-ci` replays each committed corpus, then fuzzes each harness
# for 20 s. What they find is left in build-fuzz/artifacts/.
FUZZ_SECONDS ?= 300
fuzz:
	bash scripts/fuzz --seconds $(FUZZ_SECONDS)

fuzz-ci:
	bash scripts/fuzz --ci

# The tests built with AddressSanitizer (leaks too) and UndefinedBehaviorSanitizer, in
# build-sanitize, benchmarks left out. Any report fails its test. Built at -O1 with line
# tables only, which keeps the stack traces and halves the build on a small machine.
SANITIZE_BUILD ?= build-sanitize
SANITIZE_ENV = ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1 \
  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitize/lsan.supp:print_suppressions=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:suppressions=$(CURDIR)/tests/sanitize/ubsan.supp
test-sanitize: setup
	cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DFOLIVANT_SANITIZE=ON -DFOLIVANT_BENCH=OFF
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && $(SANITIZE_ENV) ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)
