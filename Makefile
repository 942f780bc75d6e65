# Convenience targets around CMake and CTest.
#   make demo    build, then trim a shipped alignment
#   make check   build with warnings as errors and run every test: the
#                suite, the suite again under AddressSanitizer and
#                UndefinedBehaviorSanitizer, and the fuzzers (FUZZ_SECONDS each)
BUILD ?= build
FUZZ_SECONDS ?= 60

.PHONY: all demo check format-check release test-release test-sanitized fuzz

all: release

release:
	cmake -S . -B $(BUILD)/release -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD)/release -j2 --target colsieve

demo: release
	$(BUILD)/release/colsieve -i examples/globins4.fa

format-check:
	clang-format --dry-run --Werror src/*.cpp src/*.h src/*/*.cpp src/*/*.h tests/*.cpp tests/*.h fuzz/*.cpp bench/*.cpp

check: format-check test-release test-sanitized fuzz

test-release:
	cmake -S . -B $(BUILD)/check -DCMAKE_BUILD_TYPE=Release -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
	cmake --build $(BUILD)/check -j2
	ctest --test-dir $(BUILD)/check --output-on-failure -j2

test-sanitized:
	cmake -S . -B $(BUILD)/sanitized -DCMAKE_BUILD_TYPE=Debug -DCOLSIEVE_SANITIZE=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
	cmake --build $(BUILD)/sanitized -j2
	ctest --test-dir $(BUILD)/sanitized --output-on-failure -j2

fuzz:
	fuzz/run_fuzz.sh $(BUILD)/fuzz $(FUZZ_SECONDS); status=$$?; [ $$status -eq 0 ] || [ $$status -eq 77 ]
