# Convenience targets around CMake and CTest.
#   make demo    build, then trim a shipped alignment
#   make check   build with warnings as errors and run every test
BUILD ?= build

.PHONY: all demo check format-check release

all: release

release:
	cmake -S . -B $(BUILD)/release -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD)/release -j2 --target colsieve

demo: release
	$(BUILD)/release/colsieve -i examples/globins4.fa

format-check:
	clang-format --dry-run --Werror src/*.cpp src/*.h tests/*.cpp

check: format-check
	cmake -S . -B $(BUILD)/check -DCMAKE_BUILD_TYPE=Release -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
	cmake --build $(BUILD)/check -j2
	ctest --test-dir $(BUILD)/check --output-on-failure -j2
