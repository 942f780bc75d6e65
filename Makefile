# Convenience targets around CMake and CTest.
#   make demo    build colsieve (quietly), then trim a shipped alignment
#   make test    one release build with the tests (and the Python module
#                where pybind11 is installed), then every test but the slow
#                ones (ctest -LE slow: pip, the 4 GB file, SLURM, CWL, the
#                browser, the tree programs), in a few minutes
#   make check   everything the tests hold: the format check, the suite
#                built five ways (release with gcc and with clang, with zlib
#                in place of ISA-L, AddressSanitizer and
#                UndefinedBehaviorSanitizer, ThreadSanitizer) and the
#                four fuzzers, 2 x FUZZ_SECONDS in all; ends with a one-line
#                summary
#   make format  clang-format every source in place
BUILD ?= build
# The Python module is built and tested where Debian's Python has pybind11.
PYTHON_MODULE ?= $(shell /usr/bin/python3 -c 'import pybind11, numpy, pytest' \
                   2> /dev/null && echo ON || echo OFF)
FUZZ_SECONDS ?= 60
SOURCES = src/*/*.cpp src/*/*.h tests/*.cpp tests/*.h \
          fuzz/*.cpp fuzz/*.h bench/*.cpp

.PHONY: all demo test check format release

all: release

release:
	@mkdir -p $(BUILD)
	@{ cmake -S . -B $(BUILD)/release -DCMAKE_BUILD_TYPE=Release \
	     -DCOLSIEVE_BUILD_TESTS=OFF && \
	   cmake --build $(BUILD)/release -j2 --target colsieve; } \
	  > $(BUILD)/release.log 2>&1 || { cat $(BUILD)/release.log; exit 1; }

demo: release
	$(BUILD)/release/colsieve -i examples/globins4.fa

test:
	cmake -S . -B $(BUILD)/test -DCMAKE_BUILD_TYPE=Release -DCOLSIEVE_BUILD_TESTS=ON \
	  -DCOLSIEVE_PYTHON=$(PYTHON_MODULE)
	cmake --build $(BUILD)/test -j2
	ctest --test-dir $(BUILD)/test -j2 --output-on-failure -LE slow

check:
	@FUZZ_SECONDS=$(FUZZ_SECONDS) tests/check.sh $(BUILD)

format:
	clang-format -i $(SOURCES)
