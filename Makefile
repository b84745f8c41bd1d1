# The two commands a user needs: `make demo` and `make test`; `make dist` packages.
BUILD   := build/win32
NATIVE  := build/native
export WINEPREFIX ?= $(CURDIR)/build/wineprefix
export WINEDEBUG  ?= -all
export WINEDLLOVERRIDES ?= mscoree,mshtml=
DEMO_PC := $(CURDIR)/build/demo-pc
DEMO_DEV:= $(CURDIR)/build/demo-device

.PHONY: all setup configure build native test demo dist clean wine-up

all: build

setup:
	@scripts/setup.sh

# A tree configured before warnings became errors is configured again from the preset.
configure: setup
	@grep -qs '^TARNWICK_WERROR:BOOL=ON' $(BUILD)/CMakeCache.txt || cmake --preset win32 >/dev/null

build: configure
	@cmake --build $(BUILD)

# The OS-free code built natively under AddressSanitizer and UndefinedBehaviorSanitizer,
# with clang (scripts/setup.sh installs it; the fuzzers need it too).
native: setup
	@grep -qs '^TARNWICK_WERROR:BOOL=ON' $(NATIVE)/CMakeCache.txt || \
	  CC=clang CXX=clang++ cmake --preset native >/dev/null
	@cmake --build $(NATIVE)

wine-up:
	@scripts/wine-up.sh

test: build native
	@ctest --test-dir $(NATIVE) --output-on-failure $(CTEST_ARGS)
	@xvfb-run -a -s "-screen 0 1024x768x24" scripts/run-tests.sh $(BUILD) $(CTEST_ARGS)

demo: build wine-up
	@scripts/demo.sh "$(BUILD)" "$(DEMO_DEV)" "$(DEMO_PC)"

# dist/Tarnwick-<version>-setup.exe and dist/Tarnwick-<version>.zip, from the built DLLs.
dist: build
	@rm -rf dist
	@installer/build.sh $(BUILD)/bin dist

clean:
	rm -rf build dist
