# The Windows program, cross-built with mingw-w64 and tested under Wine.
#   make windows        build-win/quillpack.exe and its unit tests
#   make test-windows   unit tests, whole runs and the window under Wine
# Without the cross compiler or Wine the tests are skipped, not failed.
WIN_BUILD ?= build-win
WIN_CXX := $(shell command -v x86_64-w64-mingw32-g++-posix 2>/dev/null)
WIN_WINE := $(wildcard /usr/lib/wine/wine64)
WIN_JOBS ?= 2

.PHONY: windows test-windows

$(WIN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(WIN_BUILD) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake

windows: $(WIN_BUILD)/CMakeCache.txt
	cmake --build $(WIN_BUILD) -j $(WIN_JOBS)

ifeq ($(and $(WIN_CXX),$(WIN_WINE)),)
test-windows:
	@echo "Windows tests skipped: mingw-w64 or wine not found"
else
# Console tests headless, then the window under Xvfb with the wineserver
# restarted on that display. The native program is built too: a test
# compares the mbox files of both.
test-windows: windows build
	@set -e; WIN_BUILD=$(WIN_BUILD); . tests/wine/prefix.sh; \
	qp_wine_prefix; qp_wine_headless; \
	status=0; \
	(cd $(WIN_BUILD) && ctest --output-on-failure -j $(WIN_JOBS)) || status=1; \
	(cd tests/wine && python3 -m unittest -v test_wine_run test_wine_user_ini test_wine_names test_wine_apple test_wine_calls \
	  test_wine_tally) || status=1; \
	python3 tests/wine/gui_test.py || status=1; \
	qp_wine_stop; exit $$status
endif

test: test-windows
