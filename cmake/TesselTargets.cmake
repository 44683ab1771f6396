# Shared compile settings and small helpers for the per-folder targets.

add_library(tessel_options INTERFACE)
target_compile_options(tessel_options INTERFACE -Wall -Wextra)
if(TESSEL_WERROR)
  target_compile_options(tessel_options INTERFACE -Werror)
endif()
if(TESSEL_SANITIZE)
  target_compile_options(tessel_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                  -fno-sanitize-recover=undefined)
  target_link_options(tessel_options INTERFACE -fsanitize=address,undefined)
endif()
if(TESSEL_FUZZ)
  # Instrument the library code for coverage-guided fuzzing; the fuzz targets add the libFuzzer main.
  target_compile_options(tessel_options INTERFACE -fsanitize=fuzzer-no-link)
endif()

# tessel_add_library(NAME [SOURCES files...] [EXCLUDE regex] [PUBLIC libs...] [PRIVATE libs...])
# A static library from the given sources, or from every .cpp of the calling folder (minus those
# matching EXCLUDE). A folder without sources yet gives an interface library, so the tree
# configures at every stage of its growth.
function(tessel_add_library name)
  cmake_parse_arguments(ARG "" "EXCLUDE" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
  if(ARG_SOURCES)
    set(sources ${ARG_SOURCES})
  else()
    file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
    if(ARG_EXCLUDE)
      list(FILTER sources EXCLUDE REGEX "${ARG_EXCLUDE}")
    endif()
  endif()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC tessel_options ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE tessel_options ${ARG_PUBLIC})
  endif()
endfunction()

# tessel_add_test(NAME [QT] LIBS...): one GoogleTest executable from every *_test.cpp of the
# calling folder, registered with ctest. Qt tests run on the offscreen platform.
function(tessel_add_test name)
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp")
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main GTest::gmock tessel_options)
  target_compile_definitions(${name} PRIVATE TESSEL_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
                                             TESSEL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                             TESSEL_BINARY_DIR="${PROJECT_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
