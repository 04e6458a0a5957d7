# What the Windows build takes from the build machine: nlohmann-json's headers (copied, so that no
# Linux include folder reaches the cross compiler) and GoogleTest built from Debian's sources.
set(vc_json_include ${CMAKE_BINARY_DIR}/third-party/include)
if(NOT EXISTS ${vc_json_include}/nlohmann/json.hpp)
  file(COPY /usr/include/nlohmann DESTINATION ${vc_json_include})
endif()
add_library(vc_nlohmann_json INTERFACE)
target_include_directories(vc_nlohmann_json SYSTEM INTERFACE ${vc_json_include})
add_library(nlohmann_json::nlohmann_json ALIAS vc_nlohmann_json)
# find_package(nlohmann_json 3) in the folders below finds this target through a config of its own.
set(vc_json_config ${CMAKE_BINARY_DIR}/third-party/cmake)
file(WRITE ${vc_json_config}/nlohmann_jsonConfig.cmake "# The target is made by cmake/WindowsDeps.cmake.\n")
file(WRITE ${vc_json_config}/nlohmann_jsonConfigVersion.cmake
     "set(PACKAGE_VERSION 3)\nset(PACKAGE_VERSION_COMPATIBLE TRUE)\n")
set(nlohmann_json_DIR ${vc_json_config} CACHE PATH "" FORCE)

if(VC_BUILD_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
if(VC_BUILD_TESTS)
  # GoogleTest's own code is not held to this project's warnings.
  foreach(target gtest gtest_main gmock gmock_main)
    target_compile_options(${target} PRIVATE -w)
  endforeach()
endif()
