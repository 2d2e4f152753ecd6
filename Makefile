# The two commands of the quick start. Everything else is plain CMake in build/.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
ifdef CI
CMAKE_FLAGS += -DMORIVA_WERROR=ON
endif

# Which packages to install: `make run` needs only what builds and runs the
# app, everything else brings the test tools too.
DEPS ?= test

.PHONY: all deps configure build run test clean sanitize fuzz

all: build

deps:
	@scripts/install-deps.sh $(DEPS)

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Only the app, the agenda command and the translations: no tests.
run: DEPS = run
run: configure
	@cmake --build $(BUILD) -j $(JOBS) --target moriva moriva-agenda moriva_translations
	@$(BUILD)/src/app/moriva

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
ifdef CI
	@$(MAKE) --no-print-directory sanitize fuzz
endif

# The tests again under AddressSanitizer and UndefinedBehaviorSanitizer: core,
# store, system store and widgets (the end-to-end sessions only run the same
# code longer). Leaks are looked for in our own layers; GLib, D-Bus and the
# font stack keep process-lifetime allocations that are not ours to free.
# The desktop calendar module carries its own copy of the core, and the
# program's exported copy takes its place when it loads: the same definitions
# twice, by design, so only definitions that differ count as ODR faults.
SANITIZE_OWN = ^(tst_(dayindex|desktopcalendarlauncher|eventmanager|eventrowrules|monthgrid|scrollstepper|settingsmanager|xdgautostartloginitem|icsfilereader|icseventstore|recurrenceexpander|calendarsources))$$
sanitize: deps
	@cmake -S . -B $(BUILD)-asan -DMORIVA_SANITIZE=ON -DMORIVA_BUILD_UI=ON -DMORIVA_BUILD_EDS=ON -DCMAKE_BUILD_TYPE=Debug $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)-asan -j $(JOBS)
	@cd $(BUILD)-asan && ctest --output-on-failure -j $(JOBS) -R '$(SANITIZE_OWN)'
	@cd $(BUILD)-asan && ASAN_OPTIONS=detect_leaks=0:detect_odr_violation=1 ctest --output-on-failure -j $(JOBS) -E '$(SANITIZE_OWN)|^e2e_'


# A short libFuzzer run over the calendar-file reader (clang), seeded with
# the test calendars; the corpus it grows is kept in $(BUILD)-fuzz/corpus.
FUZZ_SECONDS ?= 30
fuzz: deps
	@cmake -S fuzz -B $(BUILD)-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD)-fuzz -j $(JOBS)
	@mkdir -p $(BUILD)-fuzz/corpus
	@$(BUILD)-fuzz/fuzz_icsfilereader -max_total_time=$(FUZZ_SECONDS) -max_len=16384 -timeout=10 \
		-detect_leaks=0 -print_final_stats=1 -artifact_prefix=$(BUILD)-fuzz/ $(BUILD)-fuzz/corpus \
		tests/data/crashers tests/data/cases tests/data/vdir-broken tests/data/vdir-work tests/data/invitations \
		>$(BUILD)-fuzz/fuzz.log 2>&1 || { tail -n 60 $(BUILD)-fuzz/fuzz.log; exit 1; }
	@grep -E '^(Done|stat::new_units_added)' $(BUILD)-fuzz/fuzz.log

clean:
	@rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-fuzz
