# Installing and the packages.
#   make install PREFIX=dir   the program, its manual page and documents under
#                             dir (/usr/local when not given); DESTDIR works
#   make uninstall            removes what the last make install wrote
#   make package              $(BUILD)/quillpack_<version>_amd64.deb and
#                             $(BUILD)/quillpack-<version>-Linux.tar.gz
#   make package-windows      $(WIN_BUILD)/quillpack-<version>-win64.zip
#   make test-package         unpacks each package into scratch directories
#                             and packs the samples with what it holds;
#                             installs nothing on this machine
PREFIX ?= /usr/local
# A build of the program alone, for the install test: an install rewrites
# the list of installed files of its build, which must stay that of the
# user's own make install from $(BUILD).
SHIP_TEST_BUILD ?= build-ship
SHIP_WIN_TOOLS := $(and $(shell command -v x86_64-w64-mingw32-g++-posix 2>/dev/null),$(wildcard /usr/lib/wine/wine64))

.PHONY: install uninstall package package-windows test-package \
  test-package-windows

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

uninstall:
	cmake -DMANIFEST=$(abspath $(BUILD))/installed_files.txt \
	  -P cmake/uninstall.cmake

package: build
	cmake --build $(BUILD) --target package

package-windows: windows
	cmake --build $(WIN_BUILD) --target package

test-package: package
	cd tests/package && QUILLPACK_BUILD=$(abspath $(BUILD)) \
	  QUILLPACK_TEST_BUILD=$(abspath $(SHIP_TEST_BUILD)) \
	  python3 -m unittest -v test_packages

ifeq ($(SHIP_WIN_TOOLS),)
test-package-windows:
	@echo "Windows package tests skipped: mingw-w64 or wine not found"
else
test-package-windows: package-windows build
	@set -e; WIN_BUILD=$(WIN_BUILD); . tests/wine/prefix.sh; \
	qp_wine_prefix; qp_wine_headless; status=0; \
	(cd tests/wine && WIN_BUILD=$(abspath $(WIN_BUILD)) \
	  python3 -m unittest -v test_wine_package) || status=1; \
	qp_wine_stop; exit $$status
endif

test: test-package test-package-windows
