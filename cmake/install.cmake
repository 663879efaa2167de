# What `cmake --install` puts where: the library with its header, the
# programs, and on Linux the udev rule, the FAQ and the desktop entries; the
# CMake package and the pkg-config file for programs built against the
# library. Tests, benchmarks and fuzz targets have no install rules.
include(CMakePackageConfigHelpers)

install(TARGETS Quorvane EXPORT QuorvaneTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/quorvane.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# The programs find the library relative to themselves, so an installation
# under any prefix runs without LD_LIBRARY_PATH.
file(RELATIVE_PATH bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
foreach(program tracker_config mouse_emulator tracker_demo tracker_sim orientation_replay)
  if(TARGET ${program})
    set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/${bin_to_lib}")
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  # udev reads rules from lib/udev/rules.d under /usr (not from a
  # multiarch library folder).
  install(FILES ${PROJECT_SOURCE_DIR}/resources/udev/70-quorvane-tracker.rules
    DESTINATION lib/udev/rules.d)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/FAQ.txt
    DESTINATION ${CMAKE_INSTALL_DATADIR}/quorvane)
  foreach(program tracker_config mouse_emulator)
    if(TARGET ${program})
      string(REPLACE "_" "-" entry "quorvane-${program}")
      install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/${entry}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
      foreach(size 32x32 48x48 128x128)
        install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/hicolor/${size}/apps/${entry}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/apps)
      endforeach()
    endif()
  endforeach()
endif()

# find_package(Quorvane 2.0) gives Quorvane::Quorvane; any 2.x satisfies it.
set(cmake_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Quorvane)
install(EXPORT QuorvaneTargets NAMESPACE Quorvane:: DESTINATION ${cmake_package_dir})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QuorvaneConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QuorvaneConfig.cmake INSTALL_DESTINATION ${cmake_package_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuorvaneConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuorvaneConfig.cmake
  ${PROJECT_BINARY_DIR}/QuorvaneConfigVersion.cmake DESTINATION ${cmake_package_dir})

# The .pc file names its prefix relative to its own folder, so it stays right
# wherever the installation goes (the .deb puts it under /usr).
set(pkgconfig_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH pc_to_prefix ${CMAKE_INSTALL_PREFIX}/${pkgconfig_dir} ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/quorvane.pc.in ${PROJECT_BINARY_DIR}/quorvane.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quorvane.pc DESTINATION ${pkgconfig_dir})

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  include(${PROJECT_SOURCE_DIR}/cmake/debian_package.cmake)
endif()
