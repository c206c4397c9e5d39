# A thin front of CMake.
#   make        the program, build/quillpack
#   make demo   packs the sample messages under samples/
#   make test   installs what the tests need (as root; otherwise names it
#               and stops), then builds and runs every test
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all build test test-deps test-native demo clean

all: build

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test-native: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The packages the tests need, before any suite starts, even with make -j.
test-deps:
	@bash tools/install-test-deps.sh
ifneq ($(filter test,$(MAKECMDGOALS)),)
test-native test-asan test-format test-windows test-package \
  test-package-windows bench-test: | test-deps
endif

# Every test suite; the later parts add themselves from mk/*.mk.
test: test-deps test-native

demo: $(BUILD)/CMakeCache.txt
	@cmake --build $(BUILD) -j $(JOBS) --target quillpack >/dev/null
	@sh samples/demo.sh $(BUILD)/quillpack $(BUILD)/demo

clean:
	rm -rf $(BUILD)

-include mk/*.mk
