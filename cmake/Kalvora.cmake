# Shared target options and the small helpers every directory uses.

set(KALVORA_TESTDATA_DIR "${PROJECT_SOURCE_DIR}/../shared/testdata" CACHE PATH
    "Folder with the shared flight recordings (tests skip when it is absent)")

function(kalvora_target_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(KALVORA_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(KALVORA_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(${target} PUBLIC -fsanitize=address,undefined)
  endif()
endfunction()

# Adds every immediate sub-folder of DIR that holds a CMakeLists.txt, so a new
# subsystem needs no edit of a shared build file.
function(kalvora_add_subdirectories dir)
  file(GLOB children RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}/${dir}" "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*")
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/${child}" AND EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/${child}/CMakeLists.txt")
      add_subdirectory("${dir}/${child}")
    endif()
  endforeach()
endfunction()

# kalvora_add_library(NAME [RECURSE] [PUBLIC libs...] [PRIVATE libs...])
# One static library from the sources of the current folder (and its sub-folders with RECURSE).
function(kalvora_add_library name)
  cmake_parse_arguments(ARG "RECURSE" "" "PUBLIC;PRIVATE" ${ARGN})
  set(patterns *.cpp *.h *.ui *.qrc)
  if(ARG_RECURSE)
    file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${patterns})
  else()
    file(GLOB srcs CONFIGURE_DEPENDS ${patterns})
  endif()
  list(FILTER srcs EXCLUDE REGEX "/main\\.cpp$")
  if(NOT srcs MATCHES "\\.cpp")
    # A subsystem that has no code yet still gives its dependants a target.
    set(stub "${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp")
    file(WRITE "${stub}" "namespace kalvora { int ${name}_empty = 0; }\n")
    list(APPEND srcs "${stub}")
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE})
  kalvora_target_options(${name})
endfunction()

# kalvora_add_test(NAME [MAIN none|core|gui] LIBS libs... [SOURCES extra...])
# One GoogleTest executable from the *.cpp of the current folder. MAIN core gives
# the tests a QCoreApplication, gui a QApplication on the offscreen platform.
function(kalvora_add_test name)
  cmake_parse_arguments(ARG "" "MAIN;TIMEOUT" "LIBS;SOURCES" ${ARGN})
  if(NOT ARG_MAIN)
    set(ARG_MAIN core)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  file(GLOB srcs CONFIGURE_DEPENDS *.cpp *.h)
  add_executable(${name} ${srcs} ${ARG_SOURCES})
  if(ARG_MAIN STREQUAL "none")
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  elseif(ARG_MAIN STREQUAL "gui")
    target_link_libraries(${name} PRIVATE kalvora_testsupport_gui)
  else()
    target_link_libraries(${name} PRIVATE kalvora_testsupport)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    KALVORA_TESTDATA_DIR="${KALVORA_TESTDATA_DIR}"
    KALVORA_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    KALVORA_BINARY_DIR="${PROJECT_BINARY_DIR}")
  kalvora_target_options(${name})
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8")
endfunction()
