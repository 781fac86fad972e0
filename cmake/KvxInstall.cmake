# Install rules and the CMake package config: find_package(kvx CONFIG REQUIRED).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS kvx EXPORT kvxTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY include/kvx DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT kvxTargets NAMESPACE kvx:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/kvx)

configure_package_config_file(cmake/kvxConfig.cmake.in
    ${PROJECT_BINARY_DIR}/kvxConfig.cmake
    INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/kvx)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kvxConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kvxConfig.cmake ${PROJECT_BINARY_DIR}/kvxConfigVersion.cmake
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/kvx)
