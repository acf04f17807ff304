# Thin wrapper around CMake. The binary is build/kxrender.
JOBS ?= $(shell nproc)
BUILD ?= build
CMAKE_FLAGS ?=

.PHONY: all programs install package build demo gallery test test-sanitize test-threads bench clean fuzz-build fuzz fuzz-smoke

all: build

DEPS = tools/install-deps.sh

# The programs only (kxrender and its tools): no tests, no benchmarks.
programs:
	$(DEPS) program
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DKX_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

# Installs the programs and their manual pages under PREFIX (DESTDIR, when
# given, is put before it, as cmake --install does).
PREFIX ?= /usr/local
install: programs
	cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package $(BUILD)/kxrender_<version>_amd64.deb (CPack; the
# dependencies are computed by dpkg-shlibdeps). Older packages are removed
# first, so that one .deb is there, of this build's version.
package: programs
	$(DEPS) package
	rm -f $(BUILD)/kxrender_*.deb
	cmake --build $(BUILD) --target package

# The programs and every test (the farm tests run a Slurm cluster of one node).
build:
	$(DEPS) program test cluster
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DKX_TESTS=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

# Render every example scene into out/.
demo: programs
	@mkdir -p out
	@for f in examples/*.kx; do \
	  name=$$(basename $$f .kx); \
	  echo "rendering $$f"; \
	  (cd out && ../$(BUILD)/kxrender ../$$f > $$name.out) || exit 1; \
	  [ -s out/$$name.out ] || rm -f out/$$name.out; \
	done
	@ls out

# Render the demo and refresh the gallery pictures in docs/ (docs/gallery.md).
gallery: demo
	@mkdir -p docs
	cp out/gallery_*.png docs/

test: build
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure --timeout 300

test-sanitize:
	$(MAKE) test BUILD=build-sanitize CMAKE_FLAGS="-DKX_SANITIZE=ON"

# The engines' threads under ThreadSanitizer: the tests that run the binary
# at several thread counts, which fail on any report (it changes the
# standard error and the exit status).
test-threads:
	$(DEPS) program test
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKX_TESTS=ON -DKX_THREAD_SANITIZER=ON
	cmake --build build-tsan -j $(JOBS) --target kxrender test_e2e
	cd build-tsan && ctest -j $(JOBS) -R 'Threads' --output-on-failure --timeout 600

# Micro-benchmarks of the hot paths, whole-scene timings, then how the cost
# grows with the number of spheres and the size of a mesh.
bench:
	$(DEPS) bench
	$(MAKE) build CMAKE_FLAGS="-DKX_BENCH=ON"
	$(BUILD)/bench/kx_bench
	bench/scenes.sh $(BUILD)/kxrender
	bench/scaling.sh $(BUILD)/kxrender

# Fuzzing with clang and libFuzzer (fuzz/), built in build-fuzz/. `make fuzz`
# runs each target for FUZZ_SECONDS; `make fuzz-smoke` replays every kept
# input and fuzzes each target for a minute.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 600

fuzz-build:
	$(DEPS) program fuzz
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
	  -DKX_FUZZ=ON -DKX_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_scene fuzz_echo fuzz_texture fuzz_png fuzz_jpeg \
	  fuzz_import

fuzz: fuzz-build
	fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

fuzz-smoke: fuzz-build
	fuzz/run.sh --smoke $(FUZZ_BUILD) 60

clean:
	rm -rf build build-sanitize build-tsan build-fuzz out
