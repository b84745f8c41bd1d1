# The two commands a user needs: `make demo` and `make test`; `make dist` packages.
BUILD   := build/win32
export WINEPREFIX ?= $(CURDIR)/build/wineprefix
export WINEDEBUG  ?= -all
export WINEDLLOVERRIDES ?= mscoree,mshtml=
DEMO_PC := $(CURDIR)/build/demo-pc
DEMO_DEV:= $(CURDIR)/build/demo-device

.PHONY: all setup configure build test demo dist clean wine-up

all: build

setup:
	@scripts/setup.sh

configure: setup
	@[ -f $(BUILD)/build.ninja ] || cmake --preset win32 >/dev/null

build: configure
	@cmake --build $(BUILD)

wine-up:
	@scripts/wine-up.sh

test: build
	@xvfb-run -a -s "-screen 0 1024x768x24" scripts/run-tests.sh $(BUILD) $(CTEST_ARGS)

demo: build wine-up
	@scripts/demo.sh "$(BUILD)" "$(DEMO_DEV)" "$(DEMO_PC)"

# dist/Tarnwick-<version>-setup.exe and dist/Tarnwick-<version>.zip, from the built DLLs.
dist: build
	@rm -rf dist
	@installer/build.sh $(BUILD)/bin dist

clean:
	rm -rf build dist
