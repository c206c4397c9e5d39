# Every tracked C++ file as the repository's .clang-format lays it out.
CLANG_FORMAT ?= clang-format

.PHONY: test-format

test-format:
	git ls-files -z '*.cpp' '*.h' | xargs -0 $(CLANG_FORMAT) --dry-run -Werror

test: test-format
