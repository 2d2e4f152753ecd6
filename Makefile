# The two commands of the quick start. Everything else is plain CMake in build/.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
ifdef CI
CMAKE_FLAGS += -DMORIVA_WERROR=ON
endif

.PHONY: all deps configure build run test clean sanitize

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@$(BUILD)/src/app/moriva

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The core tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	@cmake -S . -B $(BUILD)-asan -DMORIVA_SANITIZE=ON -DMORIVA_BUILD_UI=OFF -DCMAKE_BUILD_TYPE=Debug $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)-asan -j $(JOBS)
	@cd $(BUILD)-asan && ctest --output-on-failure -j $(JOBS)

clean:
	@rm -rf $(BUILD) $(BUILD)-asan
