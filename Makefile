# Tollybrook: `make play` sets up, builds and starts the game; `make test` runs every test.
BUILD ?= build
JOBS ?= 2

.PHONY: all deps build play test bench soak clean

all: build

deps:
	@bash tools/deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo > $(BUILD).configure.log 2>&1 || (cat $(BUILD).configure.log; exit 1)
	@cmake --build $(BUILD) -j$(JOBS)

play: build
	cd $(BUILD) && ./tollybrook

test: build
	cd $(BUILD) && ctest --output-on-failure

bench: build
	cd $(BUILD) && ./bench/tollybrook_bench

soak: deps
	@cmake -S . -B build-asan -DTOLLYBROOK_SANITIZE=ON -DTOLLYBROOK_MEDIA=OFF > build-asan.configure.log 2>&1 || (cat build-asan.configure.log; exit 1)
	@cmake --build build-asan --target soak -j$(JOBS)
	./build-asan/stress/soak 1000000

clean:
	rm -rf $(BUILD) build-asan $(BUILD).configure.log build-asan.configure.log
