# quillfen_json: the JSON library (Debian's nlohmann-json3-dev, header-only).
# A cross build takes the same headers through a folder of their own, so that
# the build machine's /usr/include never comes before the target's C library.
if(NOT TARGET quillfen_json)
  find_package(nlohmann_json 3 REQUIRED NO_CMAKE_FIND_ROOT_PATH)
  add_library(quillfen_json INTERFACE)
  if(CMAKE_CROSSCOMPILING)
    get_target_property(json_includes nlohmann_json::nlohmann_json INTERFACE_INCLUDE_DIRECTORIES)
    find_path(json_header nlohmann/json.hpp PATHS ${json_includes} NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
    set(json_root "${CMAKE_BINARY_DIR}/include/quillfen_json")
    file(MAKE_DIRECTORY "${json_root}")
    file(CREATE_LINK "${json_header}/nlohmann" "${json_root}/nlohmann" SYMBOLIC)
    target_include_directories(quillfen_json SYSTEM INTERFACE "${json_root}")
  else()
    target_link_libraries(quillfen_json INTERFACE nlohmann_json::nlohmann_json)
  endif()
endif()
