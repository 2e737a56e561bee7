# The two commands of the README:
#   make run   installs what is missing, builds and starts Folivant
#   make test  installs what is missing, builds and runs every test headless
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: setup build run test format format-check layer-check bench clean

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

clean:
	rm -rf $(BUILD)
