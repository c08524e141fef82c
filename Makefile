# The two commands: `make run` and `make test`. Both install what is missing, then configure and build.
JOBS ?= 2
BUILD := build
ASAN_BUILD := build-asan
FUZZ_BUILD := build-fuzz
FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)

.PHONY: deps build run test test-asan format format-check bench soak fuzz artwork icons docs clean
.PHONY: valgrind startup install uninstall package monkey

deps:
	@tools/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	./$(BUILD)/ditessary

test: build format-check
	ctest --test-dir $(BUILD) -j$(JOBS) --output-on-failure
	@$(MAKE) --no-print-directory test-asan
	@$(MAKE) --no-print-directory fuzz

test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DDITESSARY_SANITIZE=ON > /dev/null
	@cmake --build $(ASAN_BUILD) -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1 ctest --test-dir $(ASAN_BUILD) -j$(JOBS) --output-on-failure -LE no-sanitize

# Each fuzz target briefly from the seed corpus; what it finds stays in the build folder, not in fuzz/corpus.
FUZZ_TARGETS := bitmap_reader palette_file program
FUZZ_SECONDS ?= 20

fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDITESSARY_FUZZ=ON > /dev/null
	@cmake --build $(FUZZ_BUILD) -j$(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	@for target in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$target; \
	  if SDL_VIDEODRIVER=dummy ./$(FUZZ_BUILD)/fuzz/fuzz_$$target -max_total_time=$(FUZZ_SECONDS) \
	       -artifact_prefix=$(FUZZ_BUILD)/$$target- $(FUZZ_BUILD)/corpus/$$target fuzz/corpus/$$target \
	       > $(FUZZ_BUILD)/$$target.log 2>&1; then \
	    echo "fuzz_$$target: $$(grep -o 'Done [0-9]* runs in [0-9]* second(s)' $(FUZZ_BUILD)/$$target.log)"; \
	  else \
	    tail -40 $(FUZZ_BUILD)/$$target.log; echo "fuzz_$$target found a crash: see $(FUZZ_BUILD)/$$target.log"; exit 1; \
	  fi; \
	done

format:
	clang-format -i $(FORMAT_FILES)

format-check: deps
	@clang-format --dry-run --Werror $(FORMAT_FILES) || { echo "Unformatted code: run 'make format'"; exit 1; }

# Each figure beside its floor from the same run, headless and without vsync; BENCH_REPETITIONS sets the runs.
bench: build
	SDL_VIDEODRIVER=dummy SDL_RENDER_VSYNC=0 bench/ratios.sh ./$(BUILD)/ditessary_bench

# A million frames of the whole program with faults on a schedule (the suite runs 20,000).
SOAK_FRAMES ?= 1000000
soak: build
	SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy SDL_RENDER_VSYNC=0 ./$(BUILD)/tests/soak/ditessary_soak $(SOAK_FRAMES)

# Ten million events of the whole program under scripts made from SEED, every frame checked as the fuzzer checks it
# (the suite runs 20,000). The seed is printed; a failure names its run, and SEED=n RUN=r replays from that run.
SEED ?= $(shell date +%s)
RUN ?= 0
MONKEY_EVENTS ?= 10000000
monkey: build
	SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy ./$(BUILD)/tests/soak/ditessary_monkey $(SEED) $(MONKEY_EVENTS) $(RUN)

# The soak's short run under valgrind memcheck: no invalid access, nothing definitely lost (also in the suite).
valgrind: build
	ctest --test-dir $(BUILD) -L valgrind --output-on-failure

# Start-up to the first presented frame and peak memory of the real executable, median of 11 runs.
startup: build
	bench/startup.sh ./$(BUILD)/ditessary


# The program as a desktop program under PREFIX: executable, menu entry, icons, AppStream data, manual page and
# documents. DESTDIR is honoured; uninstall takes away exactly what install wrote under the same DESTDIR and PREFIX.
PREFIX ?= /usr/local

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

uninstall:
	@test -f $(BUILD)/dist/uninstall.cmake || { echo "No $(BUILD)/ to uninstall with: run make build first"; exit 1; }
	cmake -DCMAKE_INSTALL_PREFIX=$(PREFIX) -P $(BUILD)/dist/uninstall.cmake

# The Debian package $(BUILD)/ditessary_<version>_amd64.deb, for apt install. MAINTAINER="Name <address>" names its
# maintainer (else whoever builds, as git knows them); its files carry the last commit's time, so two builds of one
# commit give the same bytes.
package: build
	cpack --config $(BUILD)/CPackConfig.cmake -B $(BUILD)

artwork: build
	cmake --build $(BUILD) --target artgen artwork_sheet -j$(JOBS)
	./$(BUILD)/tools/artgen resources
	./$(BUILD)/tools/artwork_sheet resources docs/artwork.png

# The desktop icons, drawn from the sprite sheet; like the bitmaps, they are committed and redrawn byte for byte.
icons: build
	cmake --build $(BUILD) --target icongen -j$(JOBS)
	./$(BUILD)/tools/icongen resources/CHARA.bmp dist/icons

# The pictures the README shows: both screens as the program presents them, the four bitmaps, and the program in a
# window on the IceWM desktop.
docs: build
	cmake --build $(BUILD) --target docs_pictures artwork_sheet -j$(JOBS)
	./$(BUILD)/tools/docs_pictures docs
	./$(BUILD)/tools/artwork_sheet resources docs/artwork.png
	tools/docs_shots.sh ./$(BUILD)/ditessary docs/desktop.png

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)

# The same sources for Windows with mingw-w64 against the real SDK, and that build checked under Wine.
WIN_BUILD := build-win
WIN_DEPS := cmake make g++ g++-mingw-w64-x86-64 wine wine64 xvfb xdotool imagemagick x11-apps libx11-dev
.PHONY: windows windows-check

windows:
	@tools/install-deps.sh cmake make g++-mingw-w64-x86-64
	@cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
	@cmake --build $(WIN_BUILD) -j$(JOBS)

windows-check: windows deps
	@tools/install-deps.sh $(WIN_DEPS)
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
	@cmake --build $(BUILD) -j$(JOBS) --target api_values
	LINUX_API_VALUES=$(BUILD)/api_values tests/windows/windows_check.sh $(WIN_BUILD)/ditessary.exe
