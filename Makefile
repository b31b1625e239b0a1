# Everything a fresh Debian 12 machine needs, as root: `make test`, `make demo`.
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
TSAN_BUILD ?= build-tsan
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=
FUZZ_BUILD   ?= build-fuzz
WINDOWS_BUILD ?= build-windows
FUZZ_SECONDS ?= 30

# Build and test dependencies, installed only when missing. zziplib, unzip,
# zip and python3 let the tests check our archives with independent readers
# (the product links none of them); tmux runs the patch program's terminal
# dialog in a test; the demo's sample game is written by python3; lzma-dev
# holds the LZMA SDK's C coder, which the tests check against liblzma's.
PACKAGES := g++ make cmake pkg-config libzzip-dev liblzma-dev lzma-dev zlib1g-dev \
            libgtest-dev libbenchmark-dev unzip zip python3 xz-utils tmux

.PHONY: all deps configure build test test-sanitize test-tsan bench soak demo fuzz windows test-windows gui-deps \
        test-windows-gui demo-windows clean

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DAXP_SANITIZE=ON -DAXP_BUILD_BENCH=OFF $(CMAKE_ARGS)
	cmake --build $(SAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS)

# The tests that start threads, under ThreadSanitizer: the error record,
# streams and list saves on several threads, the builder's packing
# threads, parallel packers and the patch program's worker. Only their
# programs are built.
TSAN_PROGRAMS := common_tests pack_tests updater_tests patchmaker_tests frontend_tests
TSAN_FILTER_common_tests     := ErrorRecord.*:ScramblingToggle.SameNamedFilesInDifferentFoldersToggleAtOnce
TSAN_FILTER_pack_tests       := DataStreamTest.TwoThreadsReadOnePack:ListFile.ConcurrentSavesUseTheirOwnScratchFiles
TSAN_FILTER_updater_tests    := LzmaEntry.PackersOfTheirOwnWorkInParallel:Apply.EntriesReadAheadAreWrittenInTheirTurn
TSAN_FILTER_patchmaker_tests := PackageBuildTest.*
TSAN_FILTER_frontend_tests   := DialogTest.*:StartSignal.*:DialogChannel.*

tsan_run = TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  $(TSAN_BUILD)/tests/$(1) --gtest_brief=1 --gtest_filter='$(TSAN_FILTER_$(1))'

test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAXP_TSAN=ON -DAXP_BUILD_BENCH=OFF $(CMAKE_ARGS)
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_PROGRAMS)
	$(foreach program,$(TSAN_PROGRAMS),$(call tsan_run,$(program)) &&) true

bench: build
	bash bench/run.sh $(BUILD)

# Longer rounds of two programs at once, kills and planted links than the
# unit tests run, through the axp program; prints the figures.
SOAK_ROUNDS ?= 50
soak: build
	python3 tests/soak/safety_soak.py $(BUILD) $(SOAK_ROUNDS)

# The main job: a sample game generated, patched end to end with the axp
# tool and the patch program, and checked; prints a report.
demo: configure
	cmake --build $(BUILD) --target axp_tool qelt-patch qelt-patch-stub -j $(JOBS)
	bash demo/run_demo.sh $(BUILD)

# Every fuzz target for FUZZ_SECONDS each, built with clang's libFuzzer and
# the sanitizers; fails on any crash, leak, time-out or out-of-memory.
FUZZ_PACKAGES := clang-14 libclang-rt-14-dev

fuzz: deps
	@$(MAKE) --no-print-directory deps PACKAGES="$(FUZZ_PACKAGES)"
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAXP_FUZZ=ON \
	  -DAXP_BUILD_BENCH=OFF $(CMAKE_ARGS)
	cmake --build $(FUZZ_BUILD) --target axp_fuzzers -j $(JOBS)
	bash fuzz/run_fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The Windows build, cross-compiled with mingw-w64, and its tests run under
# Wine (one Wine server for the run, Wine's state inside the build folder).
# lzma-dev brings the LZMA SDK's C coder the Windows build packs with; the
# Chinese locale lets Wine run the tests under the players' code page (GBK).
WINDOWS_PACKAGES := g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev \
                    wine wine64 lzma-dev googletest cmake make locales
WINDOWS_LOCALE := zh_CN.GBK

windows:
	@$(MAKE) --no-print-directory deps PACKAGES="$(WINDOWS_PACKAGES)"
	@locale -a 2>/dev/null | grep -qix '$(WINDOWS_LOCALE)' || localedef -i zh_CN -f GBK $(WINDOWS_LOCALE)
	cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)
	cmake --build $(WINDOWS_BUILD) -j $(JOBS)

test-windows: windows
	cmake/wine_tests.sh $(WINDOWS_BUILD) --output-on-failure -j $(JOBS)

# The patch program's window, driven as a player drives it in an X server
# of its own under Wine (tests/gui/window_test.sh): Xvfb, xdotool,
# ImageMagick for the screenshots, a Chinese font and Wine's own fonts
# (the caption's buttons), and the zh_CN.UTF-8 locale Wine takes the
# players' code page from, added beside the machine's other locales.
GUI_PACKAGES := xvfb xdotool imagemagick fonts-wqy-microhei fonts-wine locales python3

gui-deps:
	@$(MAKE) --no-print-directory deps PACKAGES="$(GUI_PACKAGES)"
	@locale -a 2>/dev/null | grep -qix 'zh_CN.utf8' || localedef -i zh_CN -f UTF-8 zh_CN.UTF-8

# The three driven runs (success, version out of range, game client open);
# screenshots under $(WINDOWS_BUILD)/gui-test/screenshots.
test-windows-gui: windows gui-deps
	tests/gui/window_test.sh $(WINDOWS_BUILD)

# The demo's release played on Windows: the Linux axp builds the package
# and the Windows patch program, which updates a game installed in a Wine
# prefix; a package made by axp.exe applies with the Linux axp. Then a
# player's update through the window, check by check.
demo-windows: build windows gui-deps
	bash demo/run_demo.sh $(BUILD) $(WINDOWS_BUILD)
	tests/gui/window_test.sh $(WINDOWS_BUILD) success

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(TSAN_BUILD) $(WINDOWS_BUILD)
