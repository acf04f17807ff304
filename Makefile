# Thin wrapper around CMake. The binary is build/kxrender.
JOBS ?= $(shell nproc)
BUILD ?= build
CMAKE_FLAGS ?=

.PHONY: all build demo gallery test test-sanitize bench clean

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

# Render every example scene into out/.
demo: build
	@mkdir -p out
	@for f in examples/*.kx; do \
	  name=$$(basename $$f .kx); \
	  echo "rendering $$f"; \
	  (cd out && ../$(BUILD)/kxrender ../$$f > $$name.out) || exit 1; \
	  [ -s out/$$name.out ] || rm -f out/$$name.out; \
	done
	@ls out

# Render the demo and refresh the README's gallery pictures in docs/.
gallery: demo
	@mkdir -p docs
	cp out/gallery_*.png docs/

test: build
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure --timeout 300

test-sanitize:
	$(MAKE) test BUILD=build-sanitize CMAKE_FLAGS="-DKX_SANITIZE=ON"

# Micro-benchmarks of the hot paths, then whole-scene timings.
bench:
	$(MAKE) build CMAKE_FLAGS="-DKX_BENCH=ON"
	$(BUILD)/bench/kx_bench
	bench/scenes.sh $(BUILD)/kxrender

clean:
	rm -rf build build-sanitize out
