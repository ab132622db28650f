# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
# Tollybrook: `make play` sets up, builds and starts the game; `make test` runs every test.
BUILD ?= build
JOBS ?= 2
PREFIX ?= $(HOME)/.local

.PHONY: all deps deps-test game build play test install package windows web serve-web bench build-asan soak clean

all: build

deps:
	@bash tools/deps.sh build

deps-test:
	@bash tools/deps.sh build test windows web

# configure TESTS: the build folder with or without the tests and benchmarks
configure = @cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLLYBROOK_TESTS=$(1) \
	> $(BUILD).configure.log 2>&1 || (cat $(BUILD).configure.log; exit 1)

# The game and its media only.
game: deps
	$(call configure,OFF)
	@cmake --build $(BUILD) -j$(JOBS)

# Everything, tests included.
build: deps-test
	$(call configure,ON)
	@cmake --build $(BUILD) -j$(JOBS)

play: game
	cd $(BUILD) && ./tollybrook

test: build
	cd $(BUILD) && ctest --output-on-failure

# The game to PREFIX/bin, its media to PREFIX/share/tollybrook (DESTDIR works).
install: game
	cmake --install $(BUILD) --prefix $(PREFIX)

# The .deb, in its own folder DEB_BUILD: the game in /usr/games, its media in
# /usr/share/games/tollybrook, as Debian's games are laid out. The same
# sources give the same .deb in any folder: ccache's CCACHE_BASEDIR would
# hand the compiler paths relative to the build folder, which the build's
# folder mapping (CMakeLists.txt) cannot take out, so it is off here.
DEB_BUILD ?= build-deb
package: deps
	@cmake -S . -B $(DEB_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLLYBROOK_TESTS=OFF \
		-DCMAKE_INSTALL_PREFIX=/usr -DTOLLYBROOK_INSTALL_BINDIR=games \
		-DTOLLYBROOK_INSTALL_DATADIR=share/games/tollybrook \
		> $(DEB_BUILD).configure.log 2>&1 || (cat $(DEB_BUILD).configure.log; exit 1)
	@CCACHE_BASEDIR= cmake --build $(DEB_BUILD) -j$(JOBS)
	cd $(DEB_BUILD) && cpack -G DEB

# The Windows build in its own folder WIN_BUILD: Allegro and FreeType made
# there from Debian's sources (once), the game cross-built with mingw-w64,
# then WIN_BUILD/tollybrook-VERSION-win64.zip and the installer beside it.
WIN_BUILD ?= build-win
windows:
	@bash tools/deps.sh build windows
	@bash windows/deps.sh $(WIN_BUILD)/deps
	@cmake -S . -B $(WIN_BUILD)/game -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/windows/toolchain-mingw64.cmake \
		-DTOLLYBROOK_WIN_DEPS=$(abspath $(WIN_BUILD))/deps/prefix -DCMAKE_BUILD_TYPE=Release \
		-DTOLLYBROOK_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/Tollybrook -DTOLLYBROOK_INSTALL_BINDIR=. \
		-DTOLLYBROOK_INSTALL_DATADIR=data > $(WIN_BUILD)/game.configure.log 2>&1 \
		|| (cat $(WIN_BUILD)/game.configure.log; exit 1)
	@CCACHE_BASEDIR= cmake --build $(WIN_BUILD)/game -j$(JOBS)
	@bash windows/package.sh $(WIN_BUILD)/game $(WIN_BUILD)

bench: build
	cd $(BUILD) && TOLLYBROOK_DATA=$(CURDIR)/$(BUILD)/media ./bench/tollybrook_bench

# The unit and stress programs under AddressSanitizer and UBSan, in build-asan
# (no media: the sanitizers watch the code, not the art).
ASAN_TARGETS ?= soak
build-asan: deps-test
	@cmake -S . -B build-asan -DTOLLYBROOK_SANITIZE=ON -DTOLLYBROOK_MEDIA=OFF > build-asan.configure.log 2>&1 || (cat build-asan.configure.log; exit 1)
	@cmake --build build-asan --target $(ASAN_TARGETS) -j$(JOBS)

soak: build-asan
	./build-asan/stress/soak 1000000

clean:
	rm -rf $(BUILD) build-asan $(DEB_BUILD) $(BUILD).configure.log build-asan.configure.log \
		$(DEB_BUILD).configure.log

# The web page in its own folder WEB_BUILD: Allegro and FreeType made there
# for WebAssembly from Debian's sources (once), the game built with Debian's
# Emscripten, then WEB_BUILD/tollybrook-VERSION-web.zip and WEB_BUILD/site/.
WEB_BUILD ?= build-web
web:
	@bash tools/deps.sh build web
	@bash web/deps.sh $(WEB_BUILD)/deps
	@NODE_PATH=/usr/share/nodejs emcmake cmake -S . -B $(WEB_BUILD)/game \
		-DTOLLYBROOK_WEB_DEPS=$(abspath $(WEB_BUILD))/deps/prefix -DCMAKE_BUILD_TYPE=Release \
		-DTOLLYBROOK_TESTS=OFF > $(WEB_BUILD)/game.configure.log 2>&1 \
		|| (cat $(WEB_BUILD)/game.configure.log; exit 1)
	@NODE_PATH=/usr/share/nodejs CCACHE_BASEDIR= cmake --build $(WEB_BUILD)/game -j$(JOBS)
	@bash web/package.sh $(WEB_BUILD)/game $(WEB_BUILD)

# Serves the built page on this machine only; the address is printed.
WEB_PORT ?= 8640
serve-web: web
	@echo "Tollybrook in the browser: http://127.0.0.1:$(WEB_PORT)/"
	@cd $(WEB_BUILD)/site && python3 -m http.server $(WEB_PORT) --bind 127.0.0.1
