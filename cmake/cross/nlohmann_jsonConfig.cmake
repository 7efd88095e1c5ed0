# nlohmann/json for cross builds. The library is headers only, so the build machine's
# copy serves; but its own package adds all of /usr/include, whose C headers would
# shadow the target's. Only the nlohmann folder is copied into the build tree.
set(quillshade_json_headers /usr/include/nlohmann)
if(NOT EXISTS ${quillshade_json_headers}/json.hpp)
  message(FATAL_ERROR "nlohmann/json is missing on the build machine: apt-get install nlohmann-json3-dev")
endif()
if(NOT TARGET nlohmann_json::nlohmann_json)
  file(COPY ${quillshade_json_headers} DESTINATION ${CMAKE_BINARY_DIR}/cross-headers)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/cross-headers)
endif()
