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

deps:
	@missing=""; for p in $(APT_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing Debian packages:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi
	@$(PYTHON) -c "import cmake, ninja, scikit_build_core, pytest, hypothesis, graphql" 2>/dev/null || \
	  $(PYTHON) -m pip install -q $(foreach p,$(PIP_PACKAGES),'$(p)')

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUENFEL_DEV=ON

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	$(PYTHON) -m pytest -q tests

demo: build
	$(PYTHON) examples/demo.py

# Engine tests under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	cmake -S . -B $(BUILD)-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENFEL_DEV=ON \
	  -DQUENFEL_MODULE=OFF -DQUENFEL_SANITIZE=ON
	cmake --build $(BUILD)-sanitize -j $(JOBS) --target engine_tests
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(BUILD)-sanitize --output-on-failure -j $(JOBS)

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
	  -DQUENFEL_MODULE=OFF -DQUENFEL_FUZZ=ON
	cmake --build $(BUILD)-fuzz -j $(JOBS)
	mkdir -p fuzz/corpus-work fuzz/corpus-work-lex
	$(BUILD)-fuzz/fuzz/parse_fuzz $(FUZZ_FLAGS) fuzz/corpus-work $(FUZZ_SEEDS)
	$(BUILD)-fuzz/fuzz/lex_fuzz $(FUZZ_FLAGS) fuzz/corpus-work-lex $(FUZZ_SEEDS)

bench: build
	$(BUILD)/bench/engine_bench
	$(PYTHON) bench/compare.py
	$(PYTHON) bench/github_schema.py

# Checks that `pip install .` builds a module that imports and parses.
wheel: deps
	rm -rf $(BUILD)-wheel && $(PYTHON) -m pip wheel -q --no-deps --no-build-isolation -w $(BUILD)-wheel .
	$(PYTHON) -m pip install -q --no-deps --target $(BUILD)-wheel/site $(BUILD)-wheel/*.whl
	cd / && PYTHONPATH=$(CURDIR)/$(BUILD)-wheel/site $(PYTHON) -c \
	  "import quenfel._quenfel as q; q.parse_query('{ a }'); print('wheel ok:', q.__file__)"

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize $(BUILD)-tsan $(BUILD)-fuzz $(BUILD)-wheel python/quenfel/*.so
