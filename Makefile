# The two commands of the README: `make run` and `make test`.
BUILD_DIR ?= build
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps configure build run test bench fuzz format clean

all: build

deps:
	./scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR)

run: build
	./$(BUILD_DIR)/zelto-todo

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j2

bench: configure
	cmake --build $(BUILD_DIR) --target benchmarks
	@for b in $(BUILD_DIR)/bench/bench_*; do \
	  echo "== $$b"; QT_QPA_PLATFORM=offscreen $$b || exit 1; \
	done

fuzz:
	ZELTO_FUZZ=1 ./scripts/install-deps.sh
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DZELTO_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build-fuzz --target fuzz_loader

format:
	find src tests bench $(wildcard fuzz) -name '*.cpp' -o -name '*.h' | xargs clang-format -i

# The program keeps its tasks next to the executable, in $(BUILD_DIR):
# clean removes what the build made and leaves those files alone.
clean:
	-cmake --build $(BUILD_DIR) --target clean
	rm -rf build-fuzz
