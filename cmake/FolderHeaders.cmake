# Each library shows its dependants the headers of its own folder and nothing else: its include
# directory in the build tree holds a link to each of them under the folder's name
# ("menu/MenuWindow.h"). An #include of a folder the library does not link to, directly or
# through its dependencies, does not compile; neither does one of a folder above it, as the
# folders below never link the ones above.
#
#   klosia_folder_headers(TARGET SOURCE_DIR NAME)
#
# SOURCE_DIR is the folder's directory, NAME the path its headers are included under.
function(klosia_folder_headers target source_dir name)
  set(root ${PROJECT_BINARY_DIR}/include/${target})
  # Made afresh at each configure, so a removed or renamed header leaves no link behind.
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root}/${name})
  file(GLOB headers CONFIGURE_DEPENDS ${source_dir}/*.h)
  foreach(header IN LISTS headers)
    get_filename_component(file_name ${header} NAME)
    file(CREATE_LINK ${header} ${root}/${name}/${file_name} SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
