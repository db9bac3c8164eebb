# Thin wrapper over CMake; every target installs what is missing first.
BUILD ?= build
CMAKE_FLAGS ?=

.PHONY: all deps configure build test demo format clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@test -f $(BUILD)/CMakeCache.txt || \
		cmake -S . -B $(BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure

demo: build
	@bash scripts/demo.sh $(BUILD)

format:
	@clang-format -i $$(git ls-files "*.cpp" "*.h" "*.c")

clean:
	rm -rf $(BUILD)
