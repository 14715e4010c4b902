# Compiler settings shared by every target of the project.
add_compile_options(-Wall -Wextra -Wpedantic)

find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  set(CMAKE_C_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
endif()

if(FERROLUX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# The helper stays resident and its sampler starts once a second; both are position-independent
# executables, and packed relative relocations shrink their relocation data from hundreds of
# kilobytes, read at every start, to a few. Empty when the linker cannot pack them: a linker
# that knows the option only for some targets (binutils 2.40 for 64-bit ARM) links anyway,
# warning "-z pack-relative-relocs ignored", so any mention of the option fails the check.
include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_LINK_OPTIONS "-Wl,-z,pack-relative-relocs")
check_cxx_source_compiles("int main() { return 0; }" FERROLUX_HAVE_PACKED_RELOCS
                          FAIL_REGEX "pack-relative-relocs")
unset(CMAKE_REQUIRED_LINK_OPTIONS)
set(FERROLUX_PACKED_RELOCS "")
if(FERROLUX_HAVE_PACKED_RELOCS)
  set(FERROLUX_PACKED_RELOCS "-Wl,-z,pack-relative-relocs")
endif()

if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(FERROLUX_HAVE_LIBFUZZER ${FERROLUX_FUZZ})
else()
  set(FERROLUX_HAVE_LIBFUZZER OFF)
endif()
# A fuzzer steers by the coverage of the code it exercises, which is the libraries, not its
# small harness: every object of the build carries the coverage instrumentation, and only the
# fuzz targets link libFuzzer's driver.
if(FERROLUX_HAVE_LIBFUZZER)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# Network addresses a packager sets. Both are empty by default: with no address the update
# check says where updates come from and no usage request is sent, so no build contacts a host
# that nobody has chosen.
set(FERROLUX_UPDATE_FEED_URL "" CACHE STRING
  "Appcast feed of the update check (https); the user default SUFeedURL overrides it")
set(FERROLUX_TELEMETRY_URL "" CACHE STRING
  "Base URL of the usage tracking endpoint, ending in /checkme/ (https); FERROLUX_TELEMETRY_URL in the environment overrides it")
