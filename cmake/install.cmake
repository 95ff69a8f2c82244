# What `cmake --install` puts under the prefix:
#   lib/libvendrel.so.1.0.0, its SONAME link libvendrel.so.1 and the link
#   libvendrel.so for linking (on Windows bin/vendrel.dll and lib/vendrel.lib);
#   include/vendrel.h;
#   lib/cmake/vendrel/: the package for find_package(vendrel), which gives
#   the imported target vendrel::vendrel, with its version file;
#   lib/pkgconfig/vendrel.pc.
# The package and the .pc file locate the prefix from where they lie, so an
# installed tree may be moved (or installed with --prefix) as a whole.
include(CMakePackageConfigHelpers)

set(vendrel_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/vendrel)

install(TARGETS vendrel EXPORT vendrelTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)

install(EXPORT vendrelTargets NAMESPACE vendrel:: DESTINATION ${vendrel_cmake_dir}
        FILE vendrelTargets.cmake COMPONENT Development)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/vendrelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/vendrelConfig.cmake INSTALL_DESTINATION ${vendrel_cmake_dir})
# Same major version: the calls of include/vendrel.h keep their parameters
# and behaviour within a major version.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vendrelConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/vendrelConfig.cmake ${PROJECT_BINARY_DIR}/vendrelConfigVersion.cmake
        DESTINATION ${vendrel_cmake_dir} COMPONENT Development)

# vendrel.pc: the prefix is found from the .pc file's own folder (${pcfiledir}).
set(vendrel_pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(vendrel_pc_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(vendrel_pc_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
if(IS_ABSOLUTE "${vendrel_pc_dir}")
  set(vendrel_pc_prefix "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH vendrel_pc_up "/vendrel-prefix/${vendrel_pc_dir}" "/vendrel-prefix")
  set(vendrel_pc_prefix "\${pcfiledir}/${vendrel_pc_up}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/vendrel.pc.in ${PROJECT_BINARY_DIR}/vendrel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vendrel.pc DESTINATION ${vendrel_pc_dir} COMPONENT Development)
