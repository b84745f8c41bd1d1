# The two commands a user needs: `make demo` and `make test`; `make dist` packages.
# Two Windows builds of the same sources: build/win32, the 32-bit release that ships (the
# DLLs HotSync loads), and build/win64, a 64-bit build that exists only so that every test
# runs on machines without 32-bit code. scripts/test.sh says what `make test` runs where.
BUILD   := build/win32
BUILD64 := build/win64
NATIVE  := build/native
DEMO_PC := $(CURDIR)/build/demo-pc
DEMO_DEV:= $(CURDIR)/build/demo-device

.PHONY: all setup configure build build32 build64 native test demo dist clean wine-up

all: build

setup:
	@scripts/setup.sh

# A tree configured before warnings became errors is configured again from the preset.
configure: setup
	@grep -qs '^TARNWICK_WERROR:BOOL=ON' $(BUILD)/CMakeCache.txt || cmake --preset win32 >/dev/null
	@grep -qs '^TARNWICK_WERROR:BOOL=ON' $(BUILD64)/CMakeCache.txt || cmake --preset win64 >/dev/null

build: build32 build64

build32: configure
	@cmake --build $(BUILD)

build64: configure
	@cmake --build $(BUILD64)

# The OS-free code built natively under AddressSanitizer and UndefinedBehaviorSanitizer,
# with clang (scripts/setup.sh installs it; the fuzzers need it too).
native: setup
	@grep -qs '^TARNWICK_WERROR:BOOL=ON' $(NATIVE)/CMakeCache.txt || \
	  CC=clang CXX=clang++ cmake --preset native >/dev/null
	@cmake --build $(NATIVE)

# The 32-bit release's prefix and server (scripts/wine-env.sh names the others).
wine-up:
	@scripts/wine-up.sh win32

test: build native
	@scripts/test.sh $(CTEST_ARGS)

demo: build32
	@scripts/demo.sh "$(BUILD)" "$(DEMO_DEV)" "$(DEMO_PC)"

# dist/Tarnwick-<version>-setup.exe and dist/Tarnwick-<version>.zip, from the 32-bit DLLs.
dist: build32
	@rm -rf dist
	@installer/build.sh $(BUILD)/bin dist

clean:
	rm -rf build dist
