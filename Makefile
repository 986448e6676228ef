# Two commands for everyone: `make demo` and `make test`. Both install what is missing.
#
# ARCH is the Windows architecture: i686 (PE32, the default installer) or x86_64 (PE32+).
# `make test`, `make demo` and `make bench` take the one this machine's Wine can run
# (tools/arch.sh says which and why) unless ARCH is given; `make installer` builds i686 unless
# ARCH is given. Each architecture has its own build folder, build/<ARCH>.
BUILD    := $(CURDIR)/build
LUAC     := $(BUILD)/host/luac52
PRODUCT  ?= resources
JOBS     ?= 2
ARCH     ?=
TREE      = $(BUILD)/$(or $(ARCH),i686)
OUT      ?= $(BUILD)/$(if $(filter x86_64,$(ARCH)),QPXSetup-x86_64.exe,QPXSetup.exe)

.PHONY: all deps build test demo bench fuzz installer clean

all: build

deps:
	@bash tools/install-deps.sh
	@bash tools/fetch-deps.sh third_party

# The script compiler runs on this machine as a 64-bit program; the i686 build turns what it
# writes into the 32-bit target's chunks (tools/luachunk.py).
$(LUAC): | deps
	@mkdir -p $(dir $@)
	gcc -O2 -DLUA_COMPAT_ALL -DLUA_USE_POSIX -o $@ \
	  $(filter-out %/lua.c,$(wildcard third_party/lua/src/*.c)) -lm

$(BUILD)/%/CMakeCache.txt: | deps $(LUAC)
	cmake -S . -B $(BUILD)/$* -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchain-$*-mingw.cmake \
	  -DQPX_LUAC=$(LUAC) -DQPX_INSTALLER_OUT=$(BUILD)/$*/QPXSetup.exe >/dev/null

# The engine's own build and tests always use the sample product, whatever an earlier
# `make installer` left in the cache.
build: deps $(LUAC) $(TREE)/CMakeCache.txt
	@cmake -S . -B $(TREE) -DQPX_PRODUCT_DIR=$(CURDIR)/resources -DQPX_INSTALLER_OUT=$(TREE)/QPXSetup.exe \
	  -DQPX_SIGN_CERT= -DQPX_SIGN_KEY= >/dev/null
	cmake --build $(TREE) -j $(JOBS) $(if $(TARGET),--target $(TARGET))

# make installer PRODUCT=<product folder> OUT=<file.exe> [ARCH=x86_64] [SIGN_CERT=<file> SIGN_KEY=<file>]
installer: deps $(LUAC) $(TREE)/CMakeCache.txt
	cmake -S . -B $(TREE) -DQPX_PRODUCT_DIR=$(abspath $(PRODUCT)) -DQPX_INSTALLER_OUT=$(abspath $(OUT)) \
	  -DQPX_SIGN_CERT=$(if $(SIGN_CERT),$(abspath $(SIGN_CERT))) -DQPX_SIGN_KEY=$(if $(SIGN_KEY),$(abspath $(SIGN_KEY))) >/dev/null
	cmake --build $(TREE) -j $(JOBS) --target installer
	@echo "installer: $(abspath $(OUT))"

# make demo SILENT=1 shows an unattended run instead of the clicked-through wizard.
test demo bench fuzz: deps
	@ONLY="$(ONLY)" SILENT="$(SILENT)" bash tools/suite.sh $@ "$(ARCH)"

clean:
	rm -rf $(BUILD)
