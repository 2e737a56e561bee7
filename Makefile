# The two commands of the README:
#   make run   installs what is missing, builds and starts Folivant
#   make test  installs what is missing, builds and runs every test headless
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: setup build run test format format-check bench clean

setup:
	bash scripts/setup

build: setup
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/src/app/folivant

test: build format-check
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

bench: build
	for b in $(BUILD)/bench/bench_*; do $$b; done

clean:
	rm -rf $(BUILD)
