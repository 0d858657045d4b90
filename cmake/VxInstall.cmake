# What `cmake --install` gives a client program outside the tree: the platform library
# and the two packages, the headers a client compiles against (under include/vxsystem,
# the folder to name with -I), and the CMake package that puts them together:
#   find_package(vxsystem CONFIG REQUIRED)
#   target_link_libraries(app PRIVATE vxsystem::vxpackage vxsystem::gridsift vxsystem::vxplatform)
# Inside the tree the same names are aliases of the targets.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VX_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/vxsystem)
set(VX_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/vxsystem)

# The public headers of each package: what its clients include. The codecs' headers are
# the picture classes a control's picture may hold; the codecs' other headers (their
# optimiser, filters, pixel rows, zlib glue) stay inside. The export check
# (cmake/check_exports.py) reads this list.
set(VX_PUBLIC_HEADERS_vxpackage bizcontrols/*.h codecs/gif/GifImage.h codecs/gif/GifExtensions.h
  codecs/gif/GifPainter.h codecs/png/PngImage.h)
set(VX_PUBLIC_HEADERS_gridsift gridsearch/*.h)
# The packages' own headers that those include.
set(VX_INCLUDED_HEADERS codecs/gif/GifColorReduction.h codecs/gif/GifDIB.h codecs/gif/GifLZW.h
  codecs/gif/GifLang.h codecs/gif/GifUtils.h codecs/png/PngLang.h)

set(lines)
set(headers ${VX_INCLUDED_HEADERS})
foreach(package vxpackage gridsift)
  foreach(pattern ${VX_PUBLIC_HEADERS_${package}})
    file(GLOB found RELATIVE ${CMAKE_SOURCE_DIR} CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${pattern})
    foreach(header ${found})
      string(APPEND lines "lib${package}.so ${header}\n")
      list(APPEND headers ${header})
    endforeach()
  endforeach()
endforeach()
file(WRITE ${CMAKE_BINARY_DIR}/public_headers.txt "${lines}")
foreach(header ${headers})
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${header} DESTINATION ${VX_INSTALL_INCLUDEDIR}/${folder})
endforeach()
# The platform library's headers: the framework a client's forms are made of; those
# under an internal/ folder are shared by the platform's own sources only.
install(DIRECTORY platform/ DESTINATION ${VX_INSTALL_INCLUDEDIR}/platform FILES_MATCHING PATTERN "*.h"
  PATTERN "internal" EXCLUDE)

target_include_directories(vxplatform INTERFACE $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}>
  $<INSTALL_INTERFACE:${VX_INSTALL_INCLUDEDIR}>)
# A client of a sanitizer build is built with the same run-time checks, whose libraries
# must come first in the process.
if(VX_SANITIZER_FLAGS)
  target_compile_options(vxplatform INTERFACE $<INSTALL_INTERFACE:${VX_SANITIZER_FLAGS}>)
  target_link_options(vxplatform INTERFACE $<INSTALL_INTERFACE:${VX_SANITIZER_FLAGS}>)
endif()
# Installed, a package finds the platform library beside itself.
set_target_properties(vxpackage gridsift PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS vxplatform vxpackage gridsift EXPORT vxsystemTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(EXPORT vxsystemTargets NAMESPACE vxsystem:: DESTINATION ${VX_INSTALL_CMAKEDIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/vxsystemConfig.cmake.in
  ${CMAKE_BINARY_DIR}/vxsystemConfig.cmake INSTALL_DESTINATION ${VX_INSTALL_CMAKEDIR})
install(FILES ${CMAKE_BINARY_DIR}/vxsystemConfig.cmake DESTINATION ${VX_INSTALL_CMAKEDIR})

foreach(target vxplatform vxpackage gridsift)
  add_library(vxsystem::${target} ALIAS ${target})
endforeach()
