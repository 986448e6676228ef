# Two commands for everyone: `make demo` and `make test`. Both install what is missing.
BUILD    := $(CURDIR)/build
CROSS    := $(BUILD)/i686
LUAC     := $(BUILD)/host/luac52
PRODUCT  ?= resources
OUT      ?= $(BUILD)/QPXSetup.exe
JOBS     ?= 2

.PHONY: all deps build test demo installer clean

all: build

deps:
	@bash tools/install-deps.sh
	@bash tools/fetch-deps.sh third_party

# The script compiler runs on this machine but writes the target's bytecode: a 32-bit build
# of the same Lua has the same sizes (int, size_t, Instruction, double) as the installer.
$(LUAC): | deps
	@mkdir -p $(dir $@)
	gcc -m32 -O2 -DLUA_COMPAT_ALL -DLUA_USE_POSIX -o $@ \
	  $(filter-out %/lua.c,$(wildcard third_party/lua/src/*.c)) -lm

$(CROSS)/CMakeCache.txt: | deps $(LUAC)
	cmake -S . -B $(CROSS) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchain-i686-mingw.cmake \
	  -DQPX_LUAC=$(LUAC) -DQPX_INSTALLER_OUT=$(OUT) >/dev/null

# The engine's own build and tests always use the sample product, whatever an earlier
# `make installer` left in the cache.
build: deps $(LUAC) $(CROSS)/CMakeCache.txt
	@cmake -S . -B $(CROSS) -DQPX_PRODUCT_DIR=$(CURDIR)/resources -DQPX_INSTALLER_OUT=$(BUILD)/QPXSetup.exe \
	  -DQPX_SIGN_CERT= -DQPX_SIGN_KEY= >/dev/null
	cmake --build $(CROSS) -j $(JOBS)

# make installer PRODUCT=<product folder> OUT=<file.exe> [SIGN_CERT=<file> SIGN_KEY=<file>]
installer: deps $(LUAC) $(CROSS)/CMakeCache.txt
	cmake -S . -B $(CROSS) -DQPX_PRODUCT_DIR=$(abspath $(PRODUCT)) -DQPX_INSTALLER_OUT=$(abspath $(OUT)) \
	  -DQPX_SIGN_CERT=$(if $(SIGN_CERT),$(abspath $(SIGN_CERT))) -DQPX_SIGN_KEY=$(if $(SIGN_KEY),$(abspath $(SIGN_KEY))) >/dev/null
	cmake --build $(CROSS) -j $(JOBS) --target installer
	@echo "installer: $(abspath $(OUT))"

test: build
	@bash tools/run-tests.sh $(CROSS)

demo: build
	@bash tools/demo.sh $(CROSS) $(OUT)

clean:
	rm -rf $(BUILD)

.PHONY: bench
bench: build
	@ONLY="$(ONLY)" bash bench/run.sh $(CROSS)
