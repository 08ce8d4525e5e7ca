# stargrid_include_root(NAME FOLDERS dir...) -> STARGRID_INCLUDE_ROOT
# A folder of the build holding links to the given source folders only, under
# their own paths: with it as its one include root, a target can include
# "kite/foundation/Ref.h" but not a header of a folder it was not given.
function(stargrid_include_root name)
  cmake_parse_arguments(ARG "" "" "FOLDERS" ${ARGN})
  set(root ${CMAKE_BINARY_DIR}/include-roots/${name})
  file(REMOVE_RECURSE ${root})
  foreach(folder ${ARG_FOLDERS})
    # A folder inside another listed one comes with it.
    set(covered FALSE)
    foreach(other ${ARG_FOLDERS})
      string(FIND "${folder}" "${other}/" at)
      if(at EQUAL 0)
        set(covered TRUE)
      endif()
    endforeach()
    if(covered OR IS_SYMLINK ${root}/${folder})
      continue()
    endif()
    get_filename_component(parent ${root}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    if(EXISTS ${CMAKE_SOURCE_DIR}/${folder})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
    endif()
  endforeach()
  set(STARGRID_INCLUDE_ROOT ${root} PARENT_SCOPE)
endfunction()

# stargrid_library(NAME FOLDERS dir... [SEES dir...] LINKS target...)
# A static library of every .cpp directly in the given folders and their
# subfolders that are not themselves listed libraries. No sources yet: no target.
# Its include root shows its own folders and the lower ones it SEES (the layers).
function(stargrid_library name)
  cmake_parse_arguments(ARG "" "" "FOLDERS;SEES;LINKS" ${ARGN})
  set(sources "")
  foreach(folder ${ARG_FOLDERS})
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
    list(APPEND sources ${found})
  endforeach()
  # sdk/pigeon/statistics is its own library, not part of sdk/pigeon.
  if(name STREQUAL "pigeon")
    list(FILTER sources EXCLUDE REGEX "/sdk/pigeon/statistics/")
  endif()
  # The WebKit backend is a module of its own, loaded when first needed.
  # So are the JSON reader and the player's files: libraries of their own, which the local game server uses too.
  if(name STREQUAL "platform")
    list(FILTER sources EXCLUDE REGEX "/platform/(WebKitWindow|JsonReader)\\.cpp$")
    list(REMOVE_ITEM sources ${PLATFORM_FILES_SOURCES})
  endif()
  # The program entry goes into the executable, not the shell's library.
  list(FILTER sources EXCLUDE REGEX "/app-shell/main\\.cpp$")
  if(NOT sources)
    return()
  endif()
  add_library(${name} STATIC ${sources})
  stargrid_include_root(${name} FOLDERS ${ARG_FOLDERS} ${ARG_SEES})
  target_include_directories(${name} PUBLIC ${STARGRID_INCLUDE_ROOT} ${UTHASH_INCLUDE_DIR})
  foreach(link ${ARG_LINKS})
    if(TARGET ${link})
      target_link_libraries(${name} PUBLIC ${link})
    endif()
  endforeach()
endfunction()

# stargrid_tests(NAME FOLDER dir LABEL label [GL] LINKS target...)
# One GoogleTest binary per source folder, each case registered with CTest with STARGRID_TEST_ENVIRONMENT,
# each process on player's folders of its own (STARGRID_OWN_PLAYER_FOLDERS).
# GL: the binary draws, so it keeps the GL driver loaded for its whole run.
function(stargrid_tests name)
  cmake_parse_arguments(ARG "GL" "FOLDER;LABEL" "LINKS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_FOLDER}/*.cpp)
  # The statistics module's tests are a binary of their own, as the module is a library of its own.
  if(ARG_FOLDER STREQUAL "sdk/pigeon")
    list(FILTER sources EXCLUDE REGEX "/sdk/pigeon/statistics/")
  endif()
  if(NOT sources)
    return()
  endif()
  foreach(link ${ARG_LINKS})
    if(NOT TARGET ${link})
      return()
    endif()
  endforeach()
  if(ARG_GL)
    list(APPEND sources ${CMAKE_CURRENT_SOURCE_DIR}/gl/KeepGLDriverLoaded.cpp)
  endif()
  list(APPEND sources ${STARGRID_OWN_PLAYER_FOLDERS})
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} stargrid_test_support GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    TEST_LIST ${name}_TESTS
    PROPERTIES LABELS ${ARG_LABEL}
    DISCOVERY_TIMEOUT 60)
  stargrid_discovered_tests_environment(${name})
endfunction()

# stargrid_discovered_tests_environment(NAME)
# Gives the cases gtest_discover_tests found in binary NAME the environment STARGRID_TEST_ENVIRONMENT. Its
# PROPERTIES would split a list such as an environment into separate words (the first variable was kept, the
# others were taken for property names), so a file CTest reads after the discovered cases sets it.
function(stargrid_discovered_tests_environment name)
  set(file ${CMAKE_CURRENT_BINARY_DIR}/${name}_environment.cmake)
  file(WRITE ${file}
    "if(${name}_TESTS)\n"
    "  set_tests_properties(\${${name}_TESTS} PROPERTIES ENVIRONMENT [==[${STARGRID_TEST_ENVIRONMENT}]==])\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${file})
endfunction()

# stargrid_tests_environment()
# Puts STARGRID_TEST_ENVIRONMENT first in the environment of every test added so far in this folder with
# add_test, so that a test's own variables still win.
function(stargrid_tests_environment)
  get_property(tests DIRECTORY PROPERTY TESTS)
  foreach(test ${tests})
    set(environment ${STARGRID_TEST_ENVIRONMENT})
    get_test_property(${test} ENVIRONMENT own)
    if(own)
      list(APPEND environment ${own})
    endif()
    set_tests_properties(${test} PROPERTIES ENVIRONMENT "${environment}")
  endforeach()
endfunction()
