# Convenience targets around CMake and CTest.
#   make demo    build colsieve (one line says so; the build's own output
#                only when it fails), then trim a shipped alignment
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
#   make install    the release build (made first if there is none) into
#                   PREFIX (default /usr/local), under DESTDIR when given:
#                   bin/colsieve, the manual page, the bash completion,
#                   README.md and CHANGELOG.md
#   make uninstall  removes what the last install put there, as its manifest
#                   lists it (give the same DESTDIR)
BUILD ?= build
PREFIX ?= /usr/local
DESTDIR ?=
MANIFEST ?= $(BUILD)/release/install_manifest.txt
# The Python module is built and tested where Debian's Python has pybind11.
PYTHON_MODULE ?= $(shell /usr/bin/python3 -c 'import pybind11, numpy, pytest' \
                   2> /dev/null && echo ON || echo OFF)
FUZZ_SECONDS ?= 60
SOURCES = src/*/*.cpp src/*/*.h tests/*.cpp tests/*.h \
          fuzz/*.cpp fuzz/*.h bench/*.cpp

.PHONY: all demo test check format release install uninstall

all: release

# One line first: a first build is quiet for a minute or two otherwise.
release:
	@echo "building colsieve in $(BUILD)/release (a minute or two the first time)..." >&2
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

# Builds only when there is no build yet: `make && sudo make install` then
# leaves no file of the build owned by root.
install:
	@[ -x $(BUILD)/release/colsieve ] || $(MAKE) --no-print-directory release
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD)/release --prefix "$(PREFIX)"

# Every file the manifest names (its last line has no line end), then the
# folders of colsieve's own (its documents), once empty; folders other tools
# share stay.
uninstall:
	@[ -f "$(MANIFEST)" ] || { echo "make uninstall: no $(MANIFEST): nothing was installed from this build" >&2; exit 1; }
	@while IFS= read -r f || [ -n "$$f" ]; do \
	  if [ -e "$(DESTDIR)$$f" ] || [ -L "$(DESTDIR)$$f" ]; then \
	    rm -f -- "$(DESTDIR)$$f" && echo "removed $(DESTDIR)$$f"; fi; \
	done < "$(MANIFEST)"
	@sed -n 's|/[^/]*$$||p' "$(MANIFEST)" | sort -u | grep '/colsieve$$' | \
	  while IFS= read -r d; do rmdir -- "$(DESTDIR)$$d" 2> /dev/null || true; done
