# What the Windows build takes from the build machine: the header-only libraries (nlohmann-json,
# CLI11, toml11), their headers copied so that no Linux include folder reaches the cross compiler,
# and GoogleTest built from Debian's sources.
set(vc_third_party ${CMAKE_BINARY_DIR}/third-party)

# vc_header_library(PACKAGE TARGET VERSION HEADERS...): copies the headers (files or folders of
# /usr/include) and makes TARGET, which find_package(PACKAGE) then finds through a config of its own.
function(vc_header_library package target version)
  foreach(header ${ARGN})
    if(NOT EXISTS ${vc_third_party}/include/${header})
      file(COPY /usr/include/${header} DESTINATION ${vc_third_party}/include)
    endif()
  endforeach()
  string(MAKE_C_IDENTIFIER ${package} local)
  add_library(vc_${local} INTERFACE)
  target_include_directories(vc_${local} SYSTEM INTERFACE ${vc_third_party}/include)
  add_library(${target} ALIAS vc_${local})
  set(config ${vc_third_party}/cmake/${package})
  file(WRITE ${config}/${package}Config.cmake "# The target is made by cmake/WindowsDeps.cmake.\n")
  file(WRITE ${config}/${package}ConfigVersion.cmake
       "set(PACKAGE_VERSION ${version})\nset(PACKAGE_VERSION_COMPATIBLE TRUE)\n")
  set(${package}_DIR ${config} CACHE PATH "" FORCE)
endfunction()

vc_header_library(nlohmann_json nlohmann_json::nlohmann_json 3 nlohmann)
vc_header_library(CLI11 CLI11::CLI11 2 CLI)
vc_header_library(toml11 toml11::toml11 3 toml toml.hpp)

if(VC_BUILD_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  # GoogleTest's own code is not held to this project's warnings, and is built for a quick build.
  foreach(target gtest gtest_main gmock gmock_main)
    target_compile_options(${target} PRIVATE -w -O1)
  endforeach()
endif()
