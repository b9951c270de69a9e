# nlohmann-json (Debian's nlohmann-json3-dev, header only) as the target kavorin_json, for both
# builds. The cross build must not search the host's /usr/include as a whole (its C headers
# would shadow MinGW's), so both builds take the one folder through a link in the build tree.
if(TARGET kavorin_json)
  return()
endif()
find_path(KAVORIN_NLOHMANN_DIR nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT KAVORIN_NLOHMANN_DIR)
  message(FATAL_ERROR "nlohmann/json.hpp not found: install nlohmann-json3-dev (make setup).")
endif()
set(json_include ${CMAKE_BINARY_DIR}/third-party/include)
file(MAKE_DIRECTORY ${json_include})
file(CREATE_LINK ${KAVORIN_NLOHMANN_DIR}/nlohmann ${json_include}/nlohmann SYMBOLIC)
add_library(kavorin_json INTERFACE)
target_include_directories(kavorin_json SYSTEM INTERFACE ${json_include})
