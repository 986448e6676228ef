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
VERSION  := $(shell cat VERSION)
KIT      := $(BUILD)/kit/qpx-kit-$(VERSION)-linux-x86_64.tar.gz
# The sample product's programs are built by the tree; another product brings its own.
SAMPLE    = $(filter $(realpath resources),$(realpath $(PRODUCT)))

.PHONY: all deps build test demo bench fuzz installer kit clean

all: build

deps:
	@bash tools/install-deps.sh
	@bash tools/fetch-deps.sh third_party

# The script compiler runs on this machine as a 64-bit program; the i686 build turns what it
# writes into the 32-bit target's chunks (tools/luachunk.py). Linked statically: the kit
# carries it to other Linux machines.
$(LUAC): | deps
	@mkdir -p $(dir $@)
	gcc -O2 -static -DLUA_COMPAT_ALL -DLUA_USE_POSIX -o $@ \
	  $(filter-out %/lua.c,$(wildcard third_party/lua/src/*.c)) -lm

$(BUILD)/%/CMakeCache.txt: | deps $(LUAC)
	cmake -S . -B $(BUILD)/$* -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchain-$*-mingw.cmake \
	  -DQPX_LUAC=$(LUAC) >/dev/null

build: deps $(LUAC) $(TREE)/CMakeCache.txt
	cmake --build $(TREE) -j $(JOBS) $(if $(TARGET),--target $(TARGET))

# make installer PRODUCT=<product folder> OUT=<file.exe> [ARCH=x86_64] [SIGN_CERT=<file> SIGN_KEY=<file>]
# [STRICT=1]: the product builder (tools/qpxbuild.py) on the tree's stubs; the tree is not
# configured again for a product.
installer: deps $(LUAC) $(TREE)/CMakeCache.txt
	cmake --build $(TREE) -j $(JOBS) --target stubs $(if $(SAMPLE),sample_programs)
	python3 tools/qpxbuild.py $(PRODUCT) -o $(OUT) --stubs $(TREE)/stubs --luac $(LUAC) \
	  --defaults resources $(if $(STRICT),--strict) \
	  $(if $(SIGN_CERT),--sign-cert $(SIGN_CERT)) $(if $(SIGN_KEY),--sign-key $(SIGN_KEY)) \
	  $(if $(SAMPLE),$$(sed 's/^/--payload-file /' $(TREE)/sample-payload.txt))

# The builder kit: the command, the stubs of both architectures, this machine's script
# compiler, the starter product and the scripting reference, in one tarball.
kit: deps $(LUAC) $(BUILD)/i686/CMakeCache.txt $(BUILD)/x86_64/CMakeCache.txt
	cmake --build $(BUILD)/i686 -j $(JOBS) --target stubs
	cmake --build $(BUILD)/x86_64 -j $(JOBS) --target stubs
	bash tools/make-kit.sh $(KIT) $(VERSION) $(LUAC) $(BUILD)

# make demo SILENT=1 shows an unattended run instead of the clicked-through wizard.
test demo bench fuzz: deps
	@ONLY="$(ONLY)" SILENT="$(SILENT)" bash tools/suite.sh $@ "$(ARCH)"

clean:
	rm -rf $(BUILD)
