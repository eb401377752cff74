# One-command entry points; see README.md.
BUILD ?= build
JOBS ?= 2
PREFIX ?= /usr/local

# The build's own make runs below this one: no "Entering directory" lines.
MAKEFLAGS += --no-print-directory

CONFIGURE = cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
COMPILE = cmake --build $(BUILD) -j $(JOBS)

.PHONY: all setup build demo test install asan bench clean

all: build

setup:
	@tools/setup.sh

build: setup
	$(CONFIGURE)
	$(COMPILE)

# Runs the bundled example in a scratch folder under the build tree. The
# build's progress goes to $(BUILD)/build.log; its errors stay on the terminal.
demo: setup
	@mkdir -p $(BUILD)
	@echo "== building in $(BUILD)/ (progress in $(BUILD)/build.log)"
	@{ $(CONFIGURE) && $(COMPILE); } > $(BUILD)/build.log
	@tools/demo.sh $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The programs into $(PREFIX)/bin, their manual pages into $(PREFIX)/share/man.
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: setup
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON
	cmake --build build-asan -j $(JOBS)
	ctest --test-dir build-asan --output-on-failure -j $(JOBS)

bench: build
	bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD) build-asan
