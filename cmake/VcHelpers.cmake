# vc_library(NAME [QT] [DEPS ...] [EXCLUDE regex ...]): one static library per subsystem folder,
# built from every source file below that folder (new files are picked up without editing CMake).
# A folder below it with a CMakeLists.txt of its own (settings/view, operations/windows) is a
# library of its own and stays out.
function(vc_library name)
  cmake_parse_arguments(ARG "QT" "" "DEPS;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.ui)
  file(GLOB_RECURSE own_libraries CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  foreach(list_file IN LISTS own_libraries)
    get_filename_component(folder ${list_file} DIRECTORY)
    foreach(src IN LISTS srcs)
      string(FIND "${src}" "${folder}/" at)
      if(at EQUAL 0)
        list(REMOVE_ITEM srcs ${src})
      endif()
    endforeach()
  endforeach()
  foreach(pattern IN LISTS ARG_EXCLUDE)
    list(FILTER srcs EXCLUDE REGEX "${pattern}")
  endforeach()
  add_library(${name} STATIC ${srcs})
  # The library's include folder holds its own headers only, under their paths in the tree
  # ("link/PortContext.h"); a library sees its own and those of the libraries it links, so an
  # include that points up or sideways does not build.
  set(root ${CMAKE_BINARY_DIR}/include/${name})
  file(REMOVE_RECURSE ${root})
  foreach(src IN LISTS srcs)
    if(src MATCHES "\\.h$")
      file(RELATIVE_PATH header ${PROJECT_SOURCE_DIR} ${src})
      get_filename_component(folder ${root}/${header} DIRECTORY)
      file(MAKE_DIRECTORY ${folder})
      file(CREATE_LINK ${src} ${root}/${header} SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(${name} PUBLIC ${root})
  target_link_libraries(${name} PUBLIC Threads::Threads ${ARG_DEPS})
  if(ARG_QT)
    target_link_libraries(${name} PUBLIC Qt6::Widgets)
    set_target_properties(${name} PROPERTIES AUTOUIC_SEARCH_PATHS ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
endfunction()

# vc_test(NAME LABEL label SOURCES ... [LIBS ...]): one test program, each of its tests run by
# CTest in its own process, labelled unit, gui, integration or e2e.
function(vc_test name)
  cmake_parse_arguments(ARG "" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(WIN32)
    # Under Wine each start of a program costs a second: a suite runs whole, in one process.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT})
    target_compile_definitions(${name} PRIVATE VC_BUILT_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
                                               VC_BUILT_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    return()
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT}
               ENVIRONMENT QT_QPA_PLATFORM=offscreen)
  # Tests find the programs they run through VC_BIN_DIR (set by test.sh) or, failing that, in the
  # bin folder of the build they were compiled in.
  target_compile_definitions(${name} PRIVATE VC_BUILT_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
                                             VC_BUILT_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
endfunction()
