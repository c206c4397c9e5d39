# Benchmarks against the copy floor (cat) and a peer (Python's mailbox).
#   make bench           every corpus; about 25 minutes and 13 GB of scratch
#   make bench QUICK=1   the small corpora, under a minute
#   make bench-profile   where quillpack spends its time on the small corpora
#   make bench-instructions  instructions quillpack executes per small corpus
#   make bench-test      the tests of the benchmark's own parts
# BENCH_SCRATCH=dir puts the corpora elsewhere; BENCH_FLAGS passes options
# to bench/run.py (for example --only a,b --repeat 5).
BENCH_FLAGS ?=
BENCH_QUICK = $(if $(filter-out 0 no false,$(QUICK)),--quick)

.PHONY: bench bench-program bench-profile bench-instructions bench-test \
        bench-windows

bench-program: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) --target quillpack -j $(JOBS)

bench: bench-program
	python3 bench/run.py --build $(BUILD) $(BENCH_QUICK) $(BENCH_FLAGS)

bench-profile: bench-program
	python3 bench/run.py --build $(BUILD) --profile $(BENCH_FLAGS)

bench-instructions: bench-program
	python3 bench/run.py --build $(BUILD) --instructions $(BENCH_FLAGS)

bench-test: bench-program
	cd bench && QUILLPACK_BIN=$(abspath $(BUILD))/quillpack python3 -m unittest -q test_bench

test: bench-test

# The Windows program under Wine against the Win32 floor, on 2,500 small
# messages in one folder (needs make windows).
bench-windows:
	@WIN_BUILD=$(WIN_BUILD); . tests/wine/prefix.sh; qp_wine_prefix; \
	qp_wine_headless; python3 bench/wine_run.py --build-win $(WIN_BUILD)
