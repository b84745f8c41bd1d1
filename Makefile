# The two commands a user needs: `make demo` and `make test`.
BUILD   := build/win32
export WINEPREFIX ?= $(CURDIR)/build/wineprefix
export WINEDEBUG  ?= -all
export WINEDLLOVERRIDES ?= mscoree,mshtml=
DEMO_PC := $(CURDIR)/build/demo-pc
DEMO_DEV:= $(CURDIR)/build/demo-device

.PHONY: all setup configure build test demo clean wine-up

all: build

setup:
	@scripts/setup.sh

# A tree configured before warnings became errors is configured again from the preset.
configure: setup
	@grep -qs '^TARNWICK_WERROR:BOOL=ON' $(BUILD)/CMakeCache.txt || cmake --preset win32 >/dev/null

build: configure
	@cmake --build $(BUILD)

wine-up:
	@scripts/wine-up.sh

test: build
	@xvfb-run -a -s "-screen 0 1024x768x24" scripts/run-tests.sh $(BUILD) $(CTEST_ARGS)

demo: build wine-up
	@scripts/demo.sh "$(BUILD)" "$(DEMO_DEV)" "$(DEMO_PC)"

clean:
	rm -rf build
