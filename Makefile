# Convenience targets around CMake and CTest.
#   make demo    build colsieve (quietly), then trim a shipped alignment
#   make check   everything the tests hold: the format check, the suite
#                built three ways (release, AddressSanitizer and
#                UndefinedBehaviorSanitizer, ThreadSanitizer) and the
#                fuzzers, FUZZ_SECONDS each; ends with a one-line summary
BUILD ?= build
FUZZ_SECONDS ?= 60

.PHONY: all demo check release

all: release

release:
	@mkdir -p $(BUILD)
	@{ cmake -S . -B $(BUILD)/release -DCMAKE_BUILD_TYPE=Release \
	     -DCOLSIEVE_BUILD_TESTS=OFF && \
	   cmake --build $(BUILD)/release -j2 --target colsieve; } \
	  > $(BUILD)/release.log 2>&1 || { cat $(BUILD)/release.log; exit 1; }

demo: release
	$(BUILD)/release/colsieve -i examples/globins4.fa

check:
	@FUZZ_SECONDS=$(FUZZ_SECONDS) tests/check.sh $(BUILD)
