# Thin wrapper over CMake; every target installs what is missing first.
# Three build trees: $(BUILD)/win64 holds the 64-bit programs that ship (driver and installer
# assistant); $(BUILD) the 32-bit programs that ship (and their simulated builds) and the package
# with both bitnesses; $(BUILD)/x64 64-bit builds of the same sources, with the tests, for 64-bit
# Wine, which runs on every machine (some machines cannot execute 32-bit code at all).
BUILD ?= build
WIN64 := $(BUILD)/win64
X64 := $(BUILD)/x64
CMAKE_FLAGS ?=

.PHONY: all deps configure build test demo format clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@test -f $(WIN64)/CMakeCache.txt || \
		cmake -S . -B $(WIN64) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64-win32.cmake \
			-DBUILD_TESTING=OFF $(CMAKE_FLAGS) >/dev/null
	@test -f $(BUILD)/CMakeCache.txt || \
		cmake -S . -B $(BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
			-DBUILD_TESTING=OFF $(CMAKE_FLAGS) >/dev/null
	@test -f $(X64)/CMakeCache.txt || \
		cmake -S . -B $(X64) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
			$(CMAKE_FLAGS) >/dev/null

# The 64-bit shipped programs first: the 32-bit tree's package carries them. The 32-bit tree
# before the test tree: the simulated package there carries the 32-bit driver beside the 64-bit.
build: configure
	@cmake --build $(WIN64)
	@cmake --build $(BUILD)
	@cmake --build $(X64)

test: build
	@bash scripts/check-imports.sh $(BUILD)/bin
	@bash scripts/check-imports.sh $(WIN64)/bin
	@cd $(X64) && ctest --output-on-failure

demo: build
	@QVK9_WINEARCH=win64 bash scripts/demo.sh $(X64)

format:
	@clang-format -i $$(git ls-files "*.cpp" "*.h" "*.c")

clean:
	rm -rf $(BUILD)
