# Compile settings shared by every target of the project, carried by an
# interface library instead of global flags.
add_library(talvo_build_options INTERFACE)
target_compile_features(talvo_build_options INTERFACE cxx_std_20)

option(TALVO_WERROR "Treat compiler warnings as errors" OFF)
option(TALVO_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(TALVO_FUZZ "Build the fuzz targets for libFuzzer (clang only)" OFF)

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(talvo_build_options INTERFACE -Wall -Wextra -Wpedantic)
  if(TALVO_WERROR)
    target_compile_options(talvo_build_options INTERFACE -Werror)
  endif()
  if(TALVO_SANITIZE)
    target_compile_options(talvo_build_options INTERFACE
      -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(talvo_build_options INTERFACE -fsanitize=address,undefined)
  endif()
  if(TALVO_FUZZ)
    # Coverage feedback for all code under test, not only the fuzz targets.
    target_compile_options(talvo_build_options INTERFACE -fsanitize=fuzzer-no-link)
  endif()
endif()

# Windows executables carry the C and C++ runtimes and the threading library
# inside, so that they run on a Windows machine that has none of mingw-w64's
# DLLs. Link options only reach the link of executables and shared libraries.
if(MINGW)
  target_link_options(talvo_build_options INTERFACE -static -static-libgcc -static-libstdc++)
endif()
