# Shared build settings and helpers for every Vokaru library, test and tool.

find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

# The warnings every target takes (also those built without vokaru_build_flags).
set(VOKARU_WARNING_FLAGS -Wall -Wextra -Werror)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # GCC 12 reports false positives deep inside libstdc++ containers at -O2.
  list(APPEND VOKARU_WARNING_FLAGS -Wno-maybe-uninitialized -Wno-restrict -Wno-array-bounds
       -Wno-stringop-overflow)
endif()
add_library(vokaru_build_flags INTERFACE)
target_compile_options(vokaru_build_flags INTERFACE ${VOKARU_WARNING_FLAGS})
# Each process maps all of a binary's code, symbol tables and relocations: code no caller reaches is
# dropped at link time, and the relocations are packed, so that the shell's own mappings stay small.
target_compile_options(vokaru_build_flags INTERFACE -ffunction-sections -fdata-sections)
target_link_options(vokaru_build_flags INTERFACE LINKER:--gc-sections LINKER:-z,pack-relative-relocs)

# vokaru_drop_symbol_export(<imported target>)
# Some libraries' pkg-config files ask every program to export all of its symbols, for modules that
# look up the program's own functions by name. Nothing our programs load does that, and the export
# table would be mapped (and searched at every symbol lookup) in each process.
function(vokaru_drop_symbol_export target)
  get_target_property(options ${target} INTERFACE_LINK_OPTIONS)
  if(options)
    list(REMOVE_ITEM options "-Wl,--export-dynamic")
    set_target_properties(${target} PROPERTIES INTERFACE_LINK_OPTIONS "${options}")
  endif()
endfunction()

if(VOKARU_SANITIZE)
  # No vptr check: the engine's JavaScript library releases its shared pointers through the
  # libstdc++ template code our binaries also instantiate, the dynamic linker binds it to our
  # instrumented copy, and the check then misreads the library's objects (no readable type
  # information) as bad casts. Misuse of our own objects stays under AddressSanitizer.
  set(VOKARU_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize=vptr
                             -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    # GLib calls every signal handler through a pointer of one generic function type, which
    # clang's function-type check would take for a fault at each signal.
    list(APPEND VOKARU_SANITIZER_FLAGS -fno-sanitize=function)
  endif()
  target_compile_options(vokaru_build_flags INTERFACE ${VOKARU_SANITIZER_FLAGS})
  target_link_options(vokaru_build_flags INTERFACE ${VOKARU_SANITIZER_FLAGS})
  # Main-thread assertions stay on whatever the build type (platform/dispatch/main_thread_check.h).
  # Tests that can't run under the sanitizers ask for VOKARU_ADDRESS_SANITIZER.
  target_compile_definitions(vokaru_build_flags INTERFACE VOKARU_THREAD_CHECKS
                                                          VOKARU_ADDRESS_SANITIZER)
endif()

if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  # Checks the lock annotations (platform/foundation/thread_annotations.h).
  target_compile_options(vokaru_build_flags INTERFACE -Wthread-safety)
endif()

if(VOKARU_FUZZ)
  target_compile_options(vokaru_build_flags INTERFACE -fsanitize=fuzzer-no-link,address,undefined)
  target_link_options(vokaru_build_flags INTERFACE -fsanitize=address,undefined)
endif()

# Sources that the build generates (protoc's messages): tools that read the sources without
# building them, such as scripts/check-thread-safety, make this target first.
add_custom_target(vokaru_generated_sources)

# vokaru_library(<name> SOURCES ... [DEPS ...] [PRIVATE_DEPS ...])
# A static library whose headers are included by their path from the repository root.
function(vokaru_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC vokaru_build_flags ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
endfunction()

# Tests keep their temporary folders under the build tree, emptied before each ctest run: WebKit's
# helper processes can write into an app home after its test removed it, and those late files
# must not pile up in the shared temporary folder. The fixture test vokaru_test_tmp empties it.
set(VOKARU_TEST_TMPDIR "${CMAKE_BINARY_DIR}/test-tmp")

# The web processes' extensions, next to the shell (app/vokaru), which finds them there; tests and
# benchmarks, elsewhere in the tree, are told the folder through VOKARU_WEB_EXTENSIONS_DIR.
set(VOKARU_WEB_EXTENSIONS_DIR "${CMAKE_BINARY_DIR}/app/web-extensions")

# vokaru_test(<name> SOURCES ... [DEPS ...] [PLUGINS ...] [LABELS ...])
# One gtest executable per library, registered with CTest. Tests labelled "display" need an X
# server; scripts/test runs them under xvfb-run. PLUGINS names plugins (made with vokaru_plugin)
# that the test's pages or registry lookups need: they are linked whole, as are plugins among DEPS,
# so that no plugin's registrar is dropped by the linker.
function(vokaru_test name)
  if(NOT VOKARU_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;DEPS;PLUGINS;LABELS" ${ARGN})
  get_property(plugins GLOBAL PROPERTY VOKARU_PLUGINS)
  foreach(plugin ${ARG_PLUGINS})
    if(NOT plugin IN_LIST plugins)
      message(FATAL_ERROR "vokaru_test(${name}): ${plugin} is not made with vokaru_plugin")
    endif()
  endforeach()
  # A library is linked either whole or plainly, never both ways.
  set(plain_deps "")
  foreach(dep ${ARG_DEPS})
    if(dep IN_LIST plugins)
      list(APPEND ARG_PLUGINS ${dep})
    else()
      list(APPEND plain_deps ${dep})
    endif()
  endforeach()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE vokaru_build_flags ${plain_deps} GTest::gmock GTest::gtest
                                        vokaru_test_main)
  vokaru_link_whole(${name} ${ARG_PLUGINS})
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(
    ${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT
                       "TMPDIR=${VOKARU_TEST_TMPDIR};VOKARU_WEB_EXTENSIONS_DIR=${VOKARU_WEB_EXTENSIONS_DIR}"
                       FIXTURES_REQUIRED vokaru_test_tmp)
  if(ARG_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
endfunction()

# Libraries whose classes register themselves by name at static-init time must be linked whole,
# or the linker drops the unreferenced registrars.
function(vokaru_link_whole target)
  foreach(lib ${ARGN})
    target_link_libraries(${target} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${lib}>")
  endforeach()
endfunction()

# vokaru_plugin(<name> SOURCES ... [DEPS ...] [PRIVATE_DEPS ...] [WWW <file> ...])
# A plugin library. It is recorded, so that the shell (vokaru_link_plugins) links every plugin
# whole without anyone having to remember it; its page-side modules (WWW, paths relative to the
# plugin's folder) are copied into the sample app as www/plugins/<plugin folder>/<file name>.
function(vokaru_plugin name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS;WWW" ${ARGN})
  vokaru_library(${name} SOURCES ${ARG_SOURCES} DEPS ${ARG_DEPS} PRIVATE_DEPS ${ARG_PRIVATE_DEPS})
  set_property(GLOBAL APPEND PROPERTY VOKARU_PLUGINS ${name})
  get_filename_component(folder "${CMAKE_CURRENT_SOURCE_DIR}" NAME)
  foreach(file ${ARG_WWW})
    get_filename_component(file_name "${file}" NAME)
    set_property(GLOBAL APPEND PROPERTY VOKARU_PLUGIN_WWW_SOURCES
                                        "${CMAKE_CURRENT_SOURCE_DIR}/${file}")
    set_property(GLOBAL APPEND PROPERTY VOKARU_PLUGIN_WWW_TARGETS "plugins/${folder}/${file_name}")
  endforeach()
endfunction()

# Links every plugin made with vokaru_plugin whole into the target (its tests, the shell).
function(vokaru_link_plugins target)
  get_property(plugins GLOBAL PROPERTY VOKARU_PLUGINS)
  vokaru_link_whole(${target} ${plugins})
endfunction()
