# Set-up, build and checks. `make demo` and `make test` install what is missing.
PYTHON ?= python3
BUILD ?= build
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

APT_PACKAGES := g++ make ninja-build nlohmann-json3-dev libssl-dev libicu-dev \
                libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
PIP_PACKAGES := cmake>=3.26 ninja scikit-build-core>=0.10 pytest hypothesis graphql-core==3.2.8

export PYTHONPATH := $(CURDIR)/python:$(CURDIR)/$(BUILD)/tests

.PHONY: all deps build test demo sanitize refleak refleak-debug refleak-rss tsan fuzz bench wheel clean

all: build

# The packages are checked once per build folder, and again when a list above
# changes: the stamp holds the lists it was made for.
DEPS_STAMP := $(BUILD)/.deps
DEPS_LISTS := $(APT_PACKAGES) $(PIP_PACKAGES)
ifneq ($(file <$(DEPS_STAMP)),$(DEPS_LISTS))
.PHONY: $(DEPS_STAMP)
endif

deps: $(DEPS_STAMP)

# Installs those of the Debian packages $(1) that are missing.
apt_install = missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing Debian packages:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi

$(DEPS_STAMP):
	@$(call apt_install,$(APT_PACKAGES))
	PIP_ROOT_USER_ACTION=ignore $(PYTHON) -m pip install -q $(foreach p,$(PIP_PACKAGES),'$(p)')
	@mkdir -p $(@D) && echo '$(DEPS_LISTS)' > $@

$(BUILD)/build.ninja: | $(DEPS_STAMP)
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUENFEL_DEV=ON

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	$(PYTHON) -m pytest -q tests

demo: build
	$(PYTHON) examples/demo.py

# Refreshes the copy of the package's Python files in the build folder $(1).
copy_package = rm -f $(1)/python/quenfel/*.py && cp python/quenfel/*.py $(1)/python/quenfel/

# The engine tests, then the whole module test suite, under AddressSanitizer
# and UndefinedBehaviorSanitizer. The module and the test hooks go into the
# build folder's own copy of the package. The interpreter is not instrumented:
# GCC's runtimes are preloaded into the real executable (not a launcher
# script), and Python allocates through malloc so that ASan sees its objects.
# Leaks are looked for once the suite has run, while the interpreter still
# holds what it holds: at exit, its teardown and the threads it ends (whose
# stacks are gone) leave memory unreachable that is not the module's; the
# subprocesses that tests start skip that check. tests/native/asan.supp says
# what it suppresses and why.
SANITIZE_PYTHONPATH := $(CURDIR)/$(BUILD)-sanitize/python:$(CURDIR)/$(BUILD)-sanitize/tests
SANITIZER_RUNTIMES = $(shell g++ -print-file-name=libasan.so) $(shell g++ -print-file-name=libubsan.so)
PYTHON_EXECUTABLE = $(shell $(PYTHON) -c 'import sys; print(sys.executable)')
PYTEST_THEN_LEAK_CHECK := import ctypes, sys, pytest; failed = pytest.main(["-q", "tests"]); \
  sys.exit(failed or ctypes.CDLL(None).__lsan_do_recoverable_leak_check())
sanitize: deps
	CXX=g++ cmake -S . -B $(BUILD)-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENFEL_DEV=ON \
	  -DQUENFEL_SANITIZE=ON -DQUENFEL_PACKAGE_DIR=$(CURDIR)/$(BUILD)-sanitize/python/quenfel
	cmake --build $(BUILD)-sanitize -j $(JOBS) --target engine_tests _quenfel quenfel_testhooks
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(BUILD)-sanitize --output-on-failure -j $(JOBS)
	$(call copy_package,$(BUILD)-sanitize)
	PYTHONPATH=$(SANITIZE_PYTHONPATH) PYTHONMALLOC=malloc LD_PRELOAD="$(SANITIZER_RUNTIMES)" \
	  ASAN_OPTIONS=detect_leaks=1:leak_check_at_exit=0:suppressions=$(CURDIR)/tests/native/asan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1 $(PYTHON_EXECUTABLE) -c '$(PYTEST_THEN_LEAK_CHECK)'

# Reference leaks: tests/test_refleak.py calls every module function many
# times on each of its paths under Debian's debug interpreter, whose total
# reference count and live block count must not grow. Its headers sit beside
# their own pyconfig.h as links, which GCC would resolve to the release
# headers unless told to keep system header paths as given. Without that
# interpreter the same table is checked by resident memory over 100,000 calls.
DEBUG_PYTHON ?= python3.11-dbg
DEBUG_APT_PACKAGES := python3.11-dbg libpython3.11-dev python3-pytest
refleak: deps
	@$(call apt_install,$(DEBUG_APT_PACKAGES)) || echo "the debug interpreter cannot be installed"
	@if command -v $(DEBUG_PYTHON) >/dev/null; then $(MAKE) --no-print-directory refleak-debug; \
	else echo "no $(DEBUG_PYTHON): checking resident memory instead"; $(MAKE) --no-print-directory refleak-rss; fi

refleak-debug:
	cmake -S . -B $(BUILD)-refleak -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENFEL_WERROR=ON \
	  -DPython_EXECUTABLE=$(shell command -v $(DEBUG_PYTHON)) -DCMAKE_CXX_FLAGS=-fno-canonical-system-headers \
	  -DQUENFEL_PACKAGE_DIR=$(CURDIR)/$(BUILD)-refleak/python/quenfel
	cmake --build $(BUILD)-refleak -j $(JOBS) --target _quenfel
	$(call copy_package,$(BUILD)-refleak)
	PYTHONPATH=$(CURDIR)/$(BUILD)-refleak/python $(DEBUG_PYTHON) -m pytest -q --noconftest -p no:cacheprovider \
	  tests/test_refleak.py

refleak-rss: build
	QUENFEL_REFLEAK=rss $(PYTHON) -m pytest -q tests/test_refleak.py

# Engine tests under ThreadSanitizer.
tsan: deps
	cmake -S . -B $(BUILD)-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENFEL_DEV=ON \
	  -DQUENFEL_MODULE=OFF -DQUENFEL_TSAN=ON
	cmake --build $(BUILD)-tsan -j $(JOBS) --target engine_tests
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ctest --test-dir $(BUILD)-tsan --output-on-failure -j $(JOBS)

# Coverage-guided fuzzing with libFuzzer (clang), seeded with the parser's test
# fixtures: the parser, then the lexer alone over the exact input buffer, each
# for FUZZ_SECONDS. What they learn goes to fuzz/corpus-work*.
FUZZ_SEEDS := engine/tests/fixtures/parser-valid engine/tests/fixtures/parser-invalid
FUZZ_FLAGS = -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -dict=fuzz/graphql.dict
fuzz: deps
	CXX=clang++ cmake -S . -B $(BUILD)-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQUENFEL_MODULE=OFF -DQUENFEL_FUZZ=ON -DQUENFEL_WERROR=ON
	cmake --build $(BUILD)-fuzz -j $(JOBS)
	mkdir -p fuzz/corpus-work fuzz/corpus-work-lex
	$(BUILD)-fuzz/fuzz/parse_fuzz $(FUZZ_FLAGS) fuzz/corpus-work $(FUZZ_SEEDS)
	$(BUILD)-fuzz/fuzz/lex_fuzz $(FUZZ_FLAGS) fuzz/corpus-work-lex $(FUZZ_SEEDS)

bench: build
	$(BUILD)/bench/engine_bench
	$(PYTHON) bench/compare.py
	$(PYTHON) bench/schema_compare.py
	$(PYTHON) bench/github_schema.py
	$(PYTHON) bench/dense.py
	$(PYTHON) bench/hash_flood.py $(BUILD)/bench/colliding_names

# Checks that `pip install .` builds a module that imports and parses (here
# refusing warnings, as every development build does).
wheel: deps
	rm -rf $(BUILD)-wheel && $(PYTHON) -m pip wheel -q --no-deps --no-build-isolation \
	  -C cmake.define.QUENFEL_WERROR=ON -w $(BUILD)-wheel .
	$(PYTHON) -m pip install -q --no-deps --target $(BUILD)-wheel/site $(BUILD)-wheel/*.whl
	cd / && PYTHONPATH=$(CURDIR)/$(BUILD)-wheel/site $(PYTHON) -c \
	  "import quenfel._quenfel as q; q.parse_query('{ a }'); print('wheel ok:', q.__file__)"

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize $(BUILD)-refleak $(BUILD)-tsan $(BUILD)-fuzz $(BUILD)-wheel python/quenfel/*.so
