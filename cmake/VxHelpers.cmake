# Build helpers shared by every folder of the tree.

# Collects the C++ sources below a folder. Files named *_entry.cpp are program or
# package entry points and stay out of the libraries.
function(vx_glob_sources out dir)
  file(GLOB_RECURSE found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  list(FILTER found EXCLUDE REGEX "_entry\\.cpp$")
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# A subsystem library: a static library of every source below the folder.
# Nothing is defined while the folder has no sources yet.
function(vx_add_subsystem name dir)
  vx_glob_sources(srcs ${dir})
  if(srcs)
    add_library(${name} STATIC ${srcs})
    set(deps)
    foreach(dep ${ARGN})
      if(TARGET ${dep})
        list(APPEND deps ${dep})
      endif()
    endforeach()
    target_link_libraries(${name} PUBLIC ${deps})
  endif()
endfunction()

# Every existing project library, for tests and benchmarks.
function(vx_all_libraries out)
  set(libs)
  foreach(lib vx_updater vx_transport vx_widgets vx_codecs vx_bizcontrols vx_gridsearch vxplatform)
    if(TARGET ${lib})
      list(APPEND libs ${lib})
    endif()
  endforeach()
  set(${out} ${libs} PARENT_SCOPE)
endfunction()
