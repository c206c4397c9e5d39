# The whole test suite a second time, built with AddressSanitizer and
# UndefinedBehaviorSanitizer in its own build directory; the black-box tests
# there run the sanitized program.
ASAN_BUILD ?= build-asan
ASAN_CXXFLAGS := -fsanitize=address,undefined -fno-sanitize-recover=all -g -O1
# GCC's flow analysis raises false alarms in library headers under the
# sanitizers; the plain build keeps the warning.
ASAN_CXXFLAGS += -Wno-maybe-uninitialized
ASAN_ENV := ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

.PHONY: test-asan

$(ASAN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug \
	  "-DCMAKE_CXX_FLAGS=$(ASAN_CXXFLAGS)" \
	  "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined"

test-asan: $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && $(ASAN_ENV) ctest --output-on-failure -j $(JOBS)

test: test-asan
