# Set-up, build and checks. `make demo` and `make test` install what is missing.
PYTHON ?= python3
BUILD ?= build
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

APT_PACKAGES := g++ make ninja-build nlohmann-json3-dev libssl-dev libicu-dev \
                libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
PIP_PACKAGES := cmake>=3.26 ninja scikit-build-core>=0.10 pytest hypothesis graphql-core==3.2.8

export PYTHONPATH := $(CURDIR)/python:$(CURDIR)/$(BUILD)/tests

.PHONY: all deps build test demo sanitize tsan fuzz bench wheel clean

all: build

# The packages are checked once per build folder, and again when a list above
# changes: the stamp holds the lists it was made for.
DEPS_STAMP := $(BUILD)/.deps
DEPS_LISTS := $(APT_PACKAGES) $(PIP_PACKAGES)
ifneq ($(file <$(DEPS_STAMP)),$(DEPS_LISTS))
.PHONY: $(DEPS_STAMP)
endif

deps: $(DEPS_STAMP)

$(DEPS_STAMP):
	@missing=""; for p in $(APT_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing Debian packages:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi
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

# The engine tests, then the whole module test suite, under AddressSanitizer
# and UndefinedBehaviorSanitizer. The module and the test hooks go into the
# build folder's own copy of the package. The interpreter is not instrumented:
# the runtimes are preloaded into the real executable (not a launcher script),
# and Python allocates through malloc so that ASan sees its objects and leaks.
SANITIZE_PYTHONPATH := $(CURDIR)/$(BUILD)-sanitize/python:$(CURDIR)/$(BUILD)-sanitize/tests
SANITIZER_RUNTIMES = $(shell g++ -print-file-name=libasan.so) $(shell g++ -print-file-name=libubsan.so)
PYTHON_EXECUTABLE = $(shell $(PYTHON) -c 'import sys; print(sys.executable)')
sanitize: deps
	CXX=g++ cmake -S . -B $(BUILD)-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENFEL_DEV=ON \
	  -DQUENFEL_SANITIZE=ON -DQUENFEL_PACKAGE_DIR=$(CURDIR)/$(BUILD)-sanitize/python/quenfel
	cmake --build $(BUILD)-sanitize -j $(JOBS) --target engine_tests _quenfel quenfel_testhooks
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(BUILD)-sanitize --output-on-failure -j $(JOBS)
	rm -f $(BUILD)-sanitize/python/quenfel/*.py && cp python/quenfel/*.py $(BUILD)-sanitize/python/quenfel/
	PYTHONPATH=$(SANITIZE_PYTHONPATH) PYTHONMALLOC=malloc LD_PRELOAD="$(SANITIZER_RUNTIMES)" \
	  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  $(PYTHON_EXECUTABLE) -m pytest -q tests

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

# Checks that `pip install .` builds a module that imports and parses (here
# refusing warnings, as every development build does).
wheel: deps
	rm -rf $(BUILD)-wheel && $(PYTHON) -m pip wheel -q --no-deps --no-build-isolation \
	  -C cmake.define.QUENFEL_WERROR=ON -w $(BUILD)-wheel .
	$(PYTHON) -m pip install -q --no-deps --target $(BUILD)-wheel/site $(BUILD)-wheel/*.whl
	cd / && PYTHONPATH=$(CURDIR)/$(BUILD)-wheel/site $(PYTHON) -c \
	  "import quenfel._quenfel as q; q.parse_query('{ a }'); print('wheel ok:', q.__file__)"

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize $(BUILD)-tsan $(BUILD)-fuzz $(BUILD)-wheel python/quenfel/*.so
