# The commands people type. Each one first installs whatever Debian packages are missing.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
WERROR := $(if $(CI),ON,OFF)

.PHONY: all deps build run test sanitize tsan bench fuzz install clean soak

all: build

deps:
	@scripts/install-deps

build: deps
	cmake --preset default -DVELUNOR_WERROR=$(WERROR) > /dev/null
	cmake --build --preset default -j $(JOBS)

run: build
	@scripts/run

test: build
	ctest --preset default -j $(JOBS)

sanitize: deps
	cmake --preset sanitize -DVELUNOR_WERROR=$(WERROR) > /dev/null
	cmake --build --preset sanitize -j $(JOBS)
	ctest --preset sanitize -j $(JOBS) -LE gui
	cmake --preset tsan -DVELUNOR_WERROR=$(WERROR) > /dev/null
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan -j $(JOBS) -L threads

# Builds, then installs the program, its desktop entry and icons under PREFIX (/usr/local unless
# given), staged under DESTDIR when that is given. The prefix is configured into the build: an
# installed copy knows its bin directory and keeps data.db in the per-user data directory.
PREFIX ?= /usr/local
install: deps
	cmake --preset default -DVELUNOR_WERROR=$(WERROR) -DCMAKE_INSTALL_PREFIX=$(PREFIX) > /dev/null
	cmake --build --preset default -j $(JOBS)
	DESTDIR="$(DESTDIR)" cmake --install build

bench: build
	@scripts/bench

# The long durability tests (label soak), left out of `make test`: they are registered for the
# ctest configuration "soak" only. --verbose shows the rounds and losses they count.
soak: build
	ctest --preset default -C soak -L soak --verbose

fuzz: deps
	cmake --preset fuzz > /dev/null
	cmake --build --preset fuzz -j $(JOBS)
	@scripts/fuzz $(FUZZ_SECONDS)

clean:
	rm -rf build build-sanitize build-tsan build-fuzz
