# The version of the build machine's nlohmann/json, which nlohmann_jsonConfig.cmake uses.
include(/usr/share/cmake/nlohmann_json/nlohmann_jsonConfigVersion.cmake)
