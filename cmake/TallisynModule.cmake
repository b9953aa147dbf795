# tallisyn_layer_includes(TARGET NAME [PUBLIC|PRIVATE|INTERFACE])
# Each layer's headers are reached through a folder of their own in the build
# tree that holds only that layer ("layers/NAME/NAME" links to src/NAME). A
# target sees its own layer and, through linkage, the layers below, so an
# include of a higher layer's header does not compile.
function(tallisyn_layer_includes target name kind)
  set(root ${CMAKE_BINARY_DIR}/layers/${name})
  if(NOT EXISTS ${root}/${name})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${name} ${root}/${name} SYMBOLIC)
  endif()
  target_include_directories(${target} ${kind} ${root})
endfunction()

# tallisyn_module(NAME [DEPS mod...] [LIBS target...])
# A layer of the program: every .cpp in src/NAME becomes the static library
# tallisyn_NAME. Layers reach each other only through DEPS, so a call or an
# include against the direction of the layers fails to build.
function(tallisyn_module name)
  cmake_parse_arguments(M "" "" "DEPS;LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${name}/*.cpp)
  set(target tallisyn_${name})
  if(srcs)
    add_library(${target} STATIC ${srcs})
    target_link_libraries(${target} PRIVATE tallisyn_warnings)
    set(kind PUBLIC)
  else()
    add_library(${target} INTERFACE)
    set(kind INTERFACE)
  endif()
  tallisyn_layer_includes(${target} ${name} ${kind})
  foreach(dep IN LISTS M_DEPS)
    target_link_libraries(${target} ${kind} tallisyn_${dep})
  endforeach()
  if(M_LIBS)
    target_link_libraries(${target} ${kind} ${M_LIBS})
  endif()
  # Extra per-layer settings (third-party libraries) live beside the sources.
  if(EXISTS ${PROJECT_SOURCE_DIR}/src/${name}/module.cmake)
    include(${PROJECT_SOURCE_DIR}/src/${name}/module.cmake)
  endif()
endfunction()

# tallisyn_tests(NAME [LIBS target...])
# Every tests/NAME/X.cpp becomes its own test program NAME_X, so that one
# unit's tests build and run alone; CTest names carry "NAME." in front so that
# one layer can be run alone. tests/NAME/tests.cmake, when present, may set
# TEST_LIBS_<X> (extra libraries for program X) before the programs are made.
function(tallisyn_tests name)
  cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/${name}/*.cpp)
  if(EXISTS ${PROJECT_SOURCE_DIR}/tests/${name}/tests.cmake)
    include(${PROJECT_SOURCE_DIR}/tests/${name}/tests.cmake)
  endif()
  foreach(src IN LISTS srcs)
    get_filename_component(stem ${src} NAME_WE)
    set(target ${name}_${stem})
    add_executable(${target} ${src})
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(${target} PRIVATE tallisyn_${name} tallisyn_testsupport
                          tallisyn_warnings GTest::gtest_main GTest::gmock ${T_LIBS}
                          ${TEST_LIBS_${stem}})
    gtest_discover_tests(${target} TEST_PREFIX "${name}." DISCOVERY_TIMEOUT 60
                         PROPERTIES ENVIRONMENT "TALLISYN_TESTDATA=${TALLISYN_TESTDATA_DIR}")
  endforeach()
endfunction()

# tallisyn_fuzz_target(NAME MODULE mod SOURCE file [LIBS target...])
# In a fuzz build (clang) a libFuzzer program fuzz_NAME; in a normal build a
# program that replays fuzz/corpus/NAME through the same entry point, run by
# CTest as "MOD.fuzz_replay.NAME".
function(tallisyn_fuzz_target name)
  cmake_parse_arguments(F "" "MODULE;SOURCE" "LIBS" ${ARGN})
  set(corpus ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
  if(TALLISYN_FUZZ)
    add_executable(fuzz_${name} ${PROJECT_SOURCE_DIR}/fuzz/${F_SOURCE})
    target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(fuzz_${name} PRIVATE tallisyn_${F_MODULE} ${F_LIBS})
  elseif(TALLISYN_TESTS)
    add_executable(fuzz_${name}_replay ${PROJECT_SOURCE_DIR}/fuzz/${F_SOURCE}
                   ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
    target_link_libraries(fuzz_${name}_replay PRIVATE tallisyn_${F_MODULE}
                          tallisyn_warnings ${F_LIBS})
    add_test(NAME ${F_MODULE}.fuzz_replay.${name} COMMAND fuzz_${name}_replay ${corpus})
    set_tests_properties(${F_MODULE}.fuzz_replay.${name} PROPERTIES
                         PASS_REGULAR_EXPRESSION "inputs replayed")
  endif()
endfunction()
