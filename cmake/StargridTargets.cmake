# stargrid_library(NAME FOLDERS dir... LINKS target...)
# A static library of every .cpp directly in the given folders and their
# subfolders that are not themselves listed libraries. No sources yet: no target.
function(stargrid_library name)
  cmake_parse_arguments(ARG "" "" "FOLDERS;LINKS" ${ARGN})
  set(sources "")
  foreach(folder ${ARG_FOLDERS})
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
    list(APPEND sources ${found})
  endforeach()
  # sdk/pigeon/statistics is its own library, not part of sdk/pigeon.
  if(name STREQUAL "pigeon")
    list(FILTER sources EXCLUDE REGEX "/sdk/pigeon/statistics/")
  endif()
  # The program entry goes into the executable, not the shell's library.
  list(FILTER sources EXCLUDE REGEX "/app-shell/main\\.cpp$")
  if(NOT sources)
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR} ${UTHASH_INCLUDE_DIR})
  foreach(link ${ARG_LINKS})
    if(TARGET ${link})
      target_link_libraries(${name} PUBLIC ${link})
    endif()
  endforeach()
endfunction()

# stargrid_tests(NAME FOLDER dir LABEL label [GL] LINKS target...)
# One GoogleTest binary per source folder, each case registered with CTest.
# GL: the binary draws, so it keeps the GL driver loaded for its whole run.
function(stargrid_tests name)
  cmake_parse_arguments(ARG "GL" "FOLDER;LABEL" "LINKS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_FOLDER}/*.cpp)
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
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} stargrid_test_support GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    PROPERTIES LABELS ${ARG_LABEL} ENVIRONMENT "SDL_VIDEODRIVER=offscreen;ALSOFT_DRIVERS=null"
    DISCOVERY_TIMEOUT 60)
endfunction()
