# quillfen_public_headers(<target> <folder>)
#
# Gives a library its own public include folder: a folder in the build tree
# that holds links to the headers directly in <folder> (not those of its
# sub-folders), reachable as "<folder>/<name>.h". A target reaches the headers
# of the targets it links and of no other, so an include that crosses the
# layers the wrong way fails to compile. Sources include the headers of their
# own folder by name alone ("sheet_cells.h").
function(quillfen_public_headers target folder)
  set(root "${CMAKE_BINARY_DIR}/include/${target}")
  file(GLOB headers CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/${folder}/*.h")
  file(REMOVE_RECURSE "${root}")
  file(MAKE_DIRECTORY "${root}/${folder}")
  foreach(header IN LISTS headers)
    get_filename_component(name "${header}" NAME)
    file(CREATE_LINK "${header}" "${root}/${folder}/${name}" SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE "${root}")
  else()
    target_include_directories(${target} PUBLIC "${root}")
  endif()
endfunction()
