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

if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(FERROLUX_HAVE_LIBFUZZER ${FERROLUX_FUZZ})
else()
  set(FERROLUX_HAVE_LIBFUZZER OFF)
endif()
