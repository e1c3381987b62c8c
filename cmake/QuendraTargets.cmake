# One static library per folder, made of the folder's own .cpp/.c files.
# Headers are included by their path from the source root ("app/settings.h"),
# so an include always shows which folder it reaches into.
# A folder that has no sources yet gives an INTERFACE library, so the
# targets that link it keep working while it grows.
function(quendra_folder_library name)
  cmake_parse_arguments(ARG "" "" "EXCLUDE;LINK;INCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  foreach(ex IN LISTS ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "/${ex}$")
  endforeach()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${ARG_INCLUDE})
    target_link_libraries(${name} PUBLIC ${ARG_LINK})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR} ${ARG_INCLUDE})
    target_link_libraries(${name} INTERFACE ${ARG_LINK})
  endif()
endfunction()

# Adds every immediate subfolder that has a CMakeLists.txt.
function(quendra_add_subfolders)
  file(GLOB children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# A GoogleTest executable whose cases are registered with CTest under
# "<prefix>.<Suite>.<Case>" (the prefix is the folder the code under test
# lives in, so sanitizer runs can pick folders by name).
function(quendra_test name)
  cmake_parse_arguments(ARG "" "PREFIX;TIMEOUT" "SOURCES;LINK" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LINK} GTest::gtest GTest::gmock Threads::Threads)
  # A test that brings its own main names it *_main.cpp or main.cpp.
  set(own_main FALSE)
  foreach(src IN LISTS ARG_SOURCES)
    get_filename_component(file ${src} NAME)
    if(file MATCHES "(^|_)main\\.(cpp|c)$")
      set(own_main TRUE)
    endif()
  endforeach()
  # A shared test main comes as the object library qt_test_main.
  if("qt_test_main" IN_LIST ARG_LINK)
    set(own_main TRUE)
  endif()
  if(NOT own_main)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  gtest_discover_tests(${name} TEST_PREFIX "${ARG_PREFIX}." DISCOVERY_MODE PRE_TEST
                       PROPERTIES TIMEOUT ${ARG_TIMEOUT})
endfunction()

# A libFuzzer target (clang only), gathered under the fuzz_all target.
function(quendra_fuzz_target name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${name} PRIVATE ${ARG_LINK})
  add_dependencies(fuzz_all ${name})
endfunction()
