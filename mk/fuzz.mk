# Fuzzing with clang's libFuzzer (not part of make test).
#   make fuzz                 every target for FUZZ_SECONDS seconds, one by one
#   make fuzz FUZZ_SECONDS=300 FUZZ_RUNS=1000000   stops at whichever comes first
# The seeds in fuzz/corpus/<target>/ are read only; what a run adds goes to
# build-fuzz/corpus/<target>/, and a finding to build-fuzz/artifacts/.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_CXX ?= clang++
FUZZ_RUNS ?=
FUZZ_TARGETS := ini transfer wildcard command_line mail_date
FUZZ_CXXFLAGS := -fsanitize=fuzzer-no-link,address,undefined \
  -fno-sanitize-recover=all -g -O1

.PHONY: fuzz fuzz-build

$(FUZZ_BUILD)/CMakeCache.txt:
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=$(FUZZ_CXX) \
	  -DCMAKE_BUILD_TYPE=Debug -DQUILLPACK_TESTS=OFF -DQUILLPACK_FUZZ=ON \
	  "-DCMAKE_CXX_FLAGS=$(FUZZ_CXXFLAGS)" \
	  "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined"

fuzz-build: $(FUZZ_BUILD)/CMakeCache.txt
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

fuzz: fuzz-build
	@mkdir -p $(FUZZ_BUILD)/artifacts $(FUZZ_BUILD)/logs
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$t; \
	  echo "fuzz: $$t for $(FUZZ_SECONDS) s"; \
	  $(FUZZ_BUILD)/fuzz/$${t}_fuzz -max_total_time=$(FUZZ_SECONDS) \
	    $(if $(FUZZ_RUNS),-runs=$(FUZZ_RUNS)) \
	    -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/artifacts/$$t- \
	    $(FUZZ_BUILD)/corpus/$$t fuzz/corpus/$$t \
	    > $(FUZZ_BUILD)/logs/$$t.log 2>&1 \
	    || { tail -n 40 $(FUZZ_BUILD)/logs/$$t.log; exit 1; }; \
	done
	@for t in $(FUZZ_TARGETS); do \
	  printf 'fuzz: %-13s %s executions, no finding\n' $$t \
	    "$$(sed -n 's/^stat::number_of_executed_units: *//p' $(FUZZ_BUILD)/logs/$$t.log)"; \
	done
