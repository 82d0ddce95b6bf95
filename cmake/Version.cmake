# The one version of the build: project(VERSION) in the top CMakeLists.txt, plus the git description when
# built from a checkout. Targets that print it link zor_version and include "zor_version.h".
set(ZOR_VERSION_DIR ${CMAKE_BINARY_DIR}/generated)
add_custom_target(zor_version_header
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DVERSION=${PROJECT_VERSION}
          -DOUTPUT=${ZOR_VERSION_DIR}/zor_version.h -P ${PROJECT_SOURCE_DIR}/cmake/write_version.cmake
  BYPRODUCTS ${ZOR_VERSION_DIR}/zor_version.h
  COMMENT "Writing the version"
  VERBATIM)
add_library(zor_version INTERFACE)
target_include_directories(zor_version INTERFACE ${ZOR_VERSION_DIR})
add_dependencies(zor_version zor_version_header)
