# The two commands of the README: `make run` and `make test`.
BUILD_DIR ?= build
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
# A compiler cache, where there is one, makes a rebuild after a switch of
# branch or a `make clean` cost little.
LAUNCHER := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CONFIGURE = cmake -S . -B $(BUILD_DIR) -G Ninja $(LAUNCHER) $(CMAKE_FLAGS)

.PHONY: all deps configure build run test sanitize bench package fuzz format format-check clean

all: build

deps:
	./scripts/install-deps.sh

# The tests and benchmarks are built only when asked for: `make test` and
# `make bench` switch them on, and `make run` builds the program alone.
configure: deps
	$(CONFIGURE)

build: configure
	cmake --build $(BUILD_DIR) --target zelto-todo

run: build
	./$(BUILD_DIR)/zelto-todo

test: deps
	$(CONFIGURE) -DBUILD_TESTING=ON
	cmake --build $(BUILD_DIR)
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j2

# The core, widget and end-to-end tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, in build-asan/; any report fails the run (the
# started program inherits the options, and a report makes it exit with an
# error). The benchmarks and the package check stay in the plain build.
SANITIZED_TESTS = test_store test_schedule test_platform test_mainwindow test_editor test_e2e
sanitize: deps
	cmake -S . -B build-asan -G Ninja $(LAUNCHER) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DBUILD_TESTING=ON -DZELTO_SANITIZE=ON -DZELTO_WERROR=ON
	cmake --build build-asan --target $(SANITIZED_TESTS)
	ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  ctest --test-dir build-asan -L '^(store|schedule|platform|mainwindow|editor|e2e)$$' \
	  --output-on-failure -j2

bench: deps
	$(CONFIGURE) -DBUILD_TESTING=ON
	cmake --build $(BUILD_DIR) --target benchmarks
	@for b in $(BUILD_DIR)/bench/bench_*; do \
	  echo "== $$b"; QT_QPA_PLATFORM=offscreen $$b || exit 1; \
	done

# The Debian package of what `cmake --install` installs, in $(BUILD_DIR).
package: configure
	cmake --build $(BUILD_DIR) --target package

fuzz:
	ZELTO_FUZZ=1 ./scripts/install-deps.sh
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DZELTO_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build-fuzz --target fuzz_loader

FORMATTED = find src tests bench fuzz tools -name '*.cpp' -o -name '*.h'

format:
	$(FORMATTED) | xargs clang-format -i

format-check: deps
	$(FORMATTED) | xargs clang-format --dry-run --Werror

# The program keeps its tasks next to the executable, in $(BUILD_DIR):
# clean removes what the build made and leaves those files alone.
clean:
	-cmake --build $(BUILD_DIR) --target clean
	rm -rf build-fuzz build-asan
