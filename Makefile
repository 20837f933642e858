# The two commands a fresh Debian machine needs:
#   make test   builds everything, runs every test, then the unit tests again
#               under AddressSanitizer and UndefinedBehaviorSanitizer, the
#               threaded parts under ThreadSanitizer, the fuzz targets over
#               their corpora, and cross-compiles the console for Windows and
#               runs its Windows tests under Wine.
#   make fuzz   fuzzes every parser of outside input, FUZZ_SECONDS each.
#   make demo   runs the console against the bundled demo service.
#   make package makes the Debian packages into build/packages.

JOBS ?= $(shell nproc)

# The configurations live in CMakePresets.json; each has its own folder.
BUILD := build

.PHONY: all deps build test test-main test-sanitize test-thread test-fuzz fuzz test-windows package package-windows demo screenshots screenshots-windows bench-console bench-play clean

all: build

deps:
	@scripts/install-deps.sh --if-missing

build: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS)

test-main: build
	ctest --preset default -j $(JOBS)

test-sanitize: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

# The request engine and the transport hand over between threads: the tests
# labelled "threaded" run under ThreadSanitizer.
test-thread: deps
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan -j $(JOBS)

# The parsers' fuzz targets (fuzz/README.md), built with clang: each replays
# its committed corpus, then fuzzes for FUZZ_TEST_SECONDS.
FUZZ_TEST_SECONDS ?= 10
test-fuzz: deps
	cmake --preset fuzz -DKX_FUZZ_SECONDS=$(FUZZ_TEST_SECONDS)
	cmake --build --preset fuzz -j $(JOBS)
	ctest --preset fuzz -j $(JOBS)

FUZZ_SECONDS ?= 60
fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	fuzz/run_all.sh build-fuzz $(FUZZ_SECONDS)

# Built with mingw-w64 and run under Wine, in a prefix made fresh for the run
# inside build-mingw (nothing of the user's own Wine is touched).
test-windows: deps
	cmake --preset mingw
	cmake --build --preset mingw -j $(JOBS)
	ctest --preset mingw

# The Debian packages (CPack): velora, libkestrix-game1 and
# libkestrix-game-dev, written to build/packages.
package: build
	rm -rf $(BUILD)/packages
	cd $(BUILD) && cpack --config CPackConfig.cmake -B packages
	@ls $(BUILD)/packages/*.deb

# The Windows installer (NSIS): velora.exe, its proxy/stub and the rank sounds,
# written to build-mingw/packaging/windows/velora-setup-<version>.exe.
package-windows: deps
	cmake --preset mingw
	cmake --build --preset mingw -j $(JOBS) --target kx_windows_installer
	@ls build-mingw/packaging/windows/velora-setup-*.exe

test: test-main test-sanitize test-thread test-fuzz test-windows
	@echo "All tests passed, the Windows ones under Wine."

demo: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS) --target velora kxreg kx-wordmaze
	KX_BUILD=$(CURDIR)/$(BUILD) scripts/demo.sh

# Pictures of the real windows for the README, taken by the end-to-end test.
screenshots: build
	dbus-run-session -- xvfb-run -a -n 150 -s "-screen 0 1280x1024x24 -noreset" python3 tests/e2e/console_e2e_test.py \
	    --velora $(BUILD)/src/platform/linux/qt/velora --kxreg $(BUILD)/src/tools/kxreg \
	    --screenshots docs/screenshots
	xvfb-run -a -n 151 -s "-screen 0 1280x1024x24 -noreset" python3 tests/e2e/play_e2e_test.py \
	    --velora $(BUILD)/src/platform/linux/qt/velora --kxreg $(BUILD)/src/tools/kxreg \
	    --game $(BUILD)/sdk/samples/wordmaze/kx-wordmaze --screenshots docs/screenshots

# The dialogs on Windows as Wine draws them (its own window frames, as there
# is no window manager on the virtual display), from the dialogs' tests.
screenshots-windows: test-windows
	KX_WINEPREFIX=$(CURDIR)/build-mingw/wineprefix scripts/wine-run.sh \
	    reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f
	rm -rf build-mingw/screenshots && mkdir -p build-mingw/screenshots
	KX_WINEPREFIX=$(CURDIR)/build-mingw/wineprefix KX_SCREENSHOTS=Z:$(CURDIR)/build-mingw/screenshots \
	    xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" python3 tests/windows/run_with_demo.py \
	    --wine-run scripts/wine-run.sh --demo demo/kestrix_demo.py \
	    --program build-mingw/tests/windows/kx_windows_inet_tests.exe -- --gtest_filter='WinDialogs*:WinPlay*'
	for f in build-mingw/screenshots/*.bmp; do convert "$$f" docs/screenshots/$$(basename "$$f" .bmp).png; done

# Start-up time, memory and idle processor use of the console (bench/README.md).
bench-console: build
	dbus-run-session -- xvfb-run -a -n 160 -s "-screen 0 1280x1024x24 -noreset" python3 bench/console_startup.py \
	    --velora $(BUILD)/src/platform/linux/qt/velora --kxreg $(BUILD)/src/tools/kxreg

# A game-services call's round trip, and the console's CPU during a 30-second game.
bench-play: build
	dbus-run-session -- $(BUILD)/bench/kx_bench_game_calls
	xvfb-run -a -n 162 -s "-screen 0 1280x1024x24 -noreset" python3 bench/console_play_cpu.py \
	    --velora $(BUILD)/src/platform/linux/qt/velora --kxreg $(BUILD)/src/tools/kxreg \
	    --game $(BUILD)/sdk/samples/wordmaze/kx-wordmaze

clean:
	rm -rf build build-asan build-tsan build-mingw build-fuzz
