# Build helpers shared by every folder of the tree.

# Collects the C++ sources below a folder. Files named *_entry.cpp are program or
# package entry points and stay out of the libraries.
function(vx_glob_sources out dir)
  file(GLOB_RECURSE found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  list(FILTER found EXCLUDE REGEX "_entry\\.cpp$")
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# The names among the rest that are targets: a library not built yet, or a reference
# that is not installed, is left out.
function(vx_existing_targets out)
  set(kept)
  foreach(t ${ARGN})
    if(TARGET ${t})
      list(APPEND kept ${t})
    endif()
  endforeach()
  set(${out} ${kept} PARENT_SCOPE)
endfunction()

# A subsystem library: a static library of every source below the folder.
# Nothing is defined while the folder has no sources yet.
function(vx_add_subsystem name dir)
  vx_glob_sources(srcs ${dir})
  if(srcs)
    add_library(${name} STATIC ${srcs})
    vx_existing_targets(deps ${ARGN})
    target_link_libraries(${name} PUBLIC ${deps})
  endif()
endfunction()

# Every existing project library, for the fuzz targets.
function(vx_all_libraries out)
  vx_existing_targets(libs vx_updater vx_transport vx_widgets vx_codecs vx_bizcontrols vx_gridsearch vxplatform)
  set(${out} ${libs} PARENT_SCOPE)
endfunction()

# The generator of resource tables, built once for the host.
function(vx_resource_generator)
  if(NOT TARGET vx_resgen)
    add_executable(vx_resgen ${CMAKE_SOURCE_DIR}/cmake/resgen.cpp)
  endif()
endfunction()

# Lists the files of <dir>/<TYPE>/<name>.<ext>, keeping the types given (any case).
function(vx_resource_files out dir)
  set(types ${ARGN})
  list(TRANSFORM types TOUPPER)
  file(GLOB_RECURSE found CONFIGURE_DEPENDS RELATIVE ${dir} ${dir}/*)
  set(kept)
  foreach(rel ${found})
    string(REGEX MATCH "^([^/]+)/[^/]+$" match "${rel}")
    if(NOT match)
      continue()
    endif()
    string(TOUPPER "${CMAKE_MATCH_1}" type)
    if(types AND NOT type IN_LIST types)
      continue()
    endif()
    list(APPEND kept ${rel})
  endforeach()
  list(SORT kept)
  set(${out} ${kept} PARENT_SCOPE)
endfunction()

# Embeds the files under <dir>/<TYPE>/<name>.<ext> into <target>'s own resource table
# (platform/win/resources.h), found at run time by type and name ignoring case:
#   vx_embed_resources(loader ${CMAKE_SOURCE_DIR}/resources TYPES PNG)
# Without TYPES every type is embedded. An OBJECT library target is fine too: each
# program or library it is linked into gets the table under its own module.
function(vx_embed_resources target dir)
  cmake_parse_arguments(ARG "" "" "TYPES" ${ARGN})
  vx_resource_generator()
  vx_resource_files(files ${dir} ${ARG_TYPES})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.cpp)
  set(inputs)
  foreach(rel ${files})
    list(APPEND inputs ${dir}/${rel})
  endforeach()
  add_custom_command(OUTPUT ${out}
    COMMAND vx_resgen ${out} ${dir} ${files}
    DEPENDS vx_resgen ${inputs}
    COMMENT "Resource table of ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()

# A run-time package: a shared library of the entry file (which defines the package's
# entry points with VX_PACKAGE_ENTRY_POINTS) and the subsystem libraries it ships,
# linked against the platform library rather than copies of it:
#   vx_add_package(vxpackage bizcontrols/vxpackage_entry.cpp
#                  LIBRARIES vx_bizcontrols vx_codecs VERSION_SCRIPT bizcontrols/vxpackage.map)
# The version script says what the package exports. The code it ships is compiled
# without unique global symbols (g++ makes the statics of inline functions such), which
# would pin the library in memory: unloading a package really unloads it.
function(vx_add_package name entry)
  cmake_parse_arguments(ARG "" "VERSION_SCRIPT" "LIBRARIES" ${ARGN})
  add_library(${name} SHARED ${CMAKE_SOURCE_DIR}/${entry})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} PUBLIC vxplatform)
  if(ARG_VERSION_SCRIPT)
    set(script ${CMAKE_SOURCE_DIR}/${ARG_VERSION_SCRIPT})
    target_link_options(${name} PRIVATE -Wl,--version-script=${script})
    set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${script})
  endif()
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    foreach(target ${name} ${ARG_LIBRARIES})
      target_compile_options(${target} PRIVATE -fno-gnu-unique)
    endforeach()
  endif()
endfunction()
