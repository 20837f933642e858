# The two commands a fresh Debian machine needs:
#   make test   builds everything, runs every test, then the unit tests again
#               under AddressSanitizer and UndefinedBehaviorSanitizer, the
#               threaded parts under ThreadSanitizer, and cross-compiles the
#               core for Windows.
#   make demo   runs the console against the bundled demo service.

JOBS ?= $(shell nproc)
CMAKE_GENERATOR ?= $(shell command -v ninja >/dev/null 2>&1 && echo Ninja || echo "Unix Makefiles")

BUILD := build
BUILD_ASAN := build-asan
BUILD_TSAN := build-tsan
BUILD_WIN := build-mingw

.PHONY: all deps build test test-main test-sanitize test-thread cross-windows demo screenshots bench-console bench-play clean

all: build

deps:
	@scripts/install-deps.sh --if-missing

build: deps
	cmake -S . -B $(BUILD) -G "$(CMAKE_GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKX_WERROR=ON
	cmake --build $(BUILD) -j $(JOBS)

test-main: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-sanitize: deps
	cmake -S . -B $(BUILD_ASAN) -G "$(CMAKE_GENERATOR)" -DCMAKE_BUILD_TYPE=Debug \
	    -DKX_SANITIZE=address,undefined -DKX_WERROR=ON
	cmake --build $(BUILD_ASAN) -j $(JOBS) --target kx_unit_tests kx_backend_tests
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	    ctest --test-dir $(BUILD_ASAN) --output-on-failure -j $(JOBS) -L 'unit|backend'

# The request engine and the transport hand over between threads: run them,
# and the stores that any thread may call, under ThreadSanitizer.
test-thread: deps
	cmake -S . -B $(BUILD_TSAN) -G "$(CMAKE_GENERATOR)" -DCMAKE_BUILD_TYPE=Debug \
	    -DKX_SANITIZE=thread -DKX_WERROR=ON
	cmake --build $(BUILD_TSAN) -j $(JOBS) --target kx_unit_tests kx_inet_tests kx_engine_integration_tests
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	    ctest --test-dir $(BUILD_TSAN) --output-on-failure -j $(JOBS) \
	    -R 'HttpRequestEngine|RequestEngine|ManualResetEvent|Upload|CurlInet|RegistryContract|ServerWait|DownloadProgress'

cross-windows: deps
	cmake -S . -B $(BUILD_WIN) -G "$(CMAKE_GENERATOR)" -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DKX_CORE_ONLY=ON -DKX_WERROR=ON
	cmake --build $(BUILD_WIN) -j $(JOBS)

test: test-main test-sanitize test-thread cross-windows
	@echo "All tests passed; the core cross-compiles for Windows."

demo: deps
	cmake -S . -B $(BUILD) -G "$(CMAKE_GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS) --target velora kxreg kx-wordmaze
	KX_BUILD=$(CURDIR)/$(BUILD) scripts/demo.sh

# Pictures of the real windows for the README, taken by the end-to-end test.
screenshots: build
	dbus-run-session -- xvfb-run -a -n 150 -s "-screen 0 1280x1024x24" python3 tests/e2e/console_e2e_test.py \
	    --velora $(BUILD)/src/platform/linux/velora --kxreg $(BUILD)/src/tools/kxreg \
	    --screenshots docs/screenshots
	xvfb-run -a -n 151 -s "-screen 0 1280x1024x24" python3 tests/e2e/play_e2e_test.py \
	    --velora $(BUILD)/src/platform/linux/velora --kxreg $(BUILD)/src/tools/kxreg \
	    --game $(BUILD)/sdk/samples/wordmaze/kx-wordmaze --screenshots docs/screenshots

# Start-up time, memory and idle processor use of the console (bench/README.md).
bench-console: build
	dbus-run-session -- xvfb-run -a -n 160 -s "-screen 0 1280x1024x24" python3 bench/console_startup.py \
	    --velora $(BUILD)/src/platform/linux/velora --kxreg $(BUILD)/src/tools/kxreg

# A game-services call's round trip, and the console's CPU during a 30-second game.
bench-play: build
	dbus-run-session -- $(BUILD)/bench/kx_bench_game_calls
	xvfb-run -a -n 162 -s "-screen 0 1280x1024x24" python3 bench/console_play_cpu.py \
	    --velora $(BUILD)/src/platform/linux/velora --kxreg $(BUILD)/src/tools/kxreg \
	    --game $(BUILD)/sdk/samples/wordmaze/kx-wordmaze

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_TSAN) $(BUILD_WIN)
