# The SDK that `cmake --install` lays out and `cpack` packs: header, library
# (on Windows the DLL, both import libraries and the .def), CMake package,
# pkg-config file, documentation and the example host. The frame-grabber
# simulator is its own component, kept out of the folders a loader searches so
# that it never shadows the card's module.
include(CMakePackageConfigHelpers)

set(TAVRIX_PACKAGE_NAME tavrix-1417)
if(WIN32)
  set(TAVRIX_INSTALL_DOCDIR docs)
  set(TAVRIX_INSTALL_EXAMPLEDIR examples)
  set(TAVRIX_INSTALL_SIMULATORDIR simulator)
else()
  set(TAVRIX_INSTALL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/${TAVRIX_PACKAGE_NAME})
  set(TAVRIX_INSTALL_EXAMPLEDIR ${TAVRIX_INSTALL_DOCDIR}/examples)
  set(TAVRIX_INSTALL_SIMULATORDIR ${CMAKE_INSTALL_LIBDIR}/${TAVRIX_PACKAGE_NAME}/simulator)
endif()
# Linux only: the linker reads the card module's functions here; the loader never does.
set(TAVRIX_INSTALL_LINKONLYDIR ${CMAKE_INSTALL_LIBDIR}/${TAVRIX_PACKAGE_NAME}/link-only)
set(TAVRIX_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tavrix1417)

install(FILES include/tavrix_1417_pci_vusk.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT sdk)
install(TARGETS Tavrix_1417_PCI_Vusk
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT sdk
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT sdk NAMELINK_COMPONENT sdk
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT sdk)
if(WIN32)
  install(FILES ${TAVRIX_MSVC_IMPORT_LIBRARY} src/api/Tavrix_1417_PCI_Vusk.def
    DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT sdk)
endif()

configure_package_config_file(cmake/package/Tavrix1417Config.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/Tavrix1417Config.cmake
  INSTALL_DESTINATION ${TAVRIX_INSTALL_CMAKEDIR}
  PATH_VARS CMAKE_INSTALL_INCLUDEDIR CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_BINDIR TAVRIX_INSTALL_SIMULATORDIR
            TAVRIX_INSTALL_LINKONLYDIR)
# 1.x hosts build against any later 1.y.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/Tavrix1417ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/Tavrix1417Config.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/Tavrix1417ConfigVersion.cmake
  DESTINATION ${TAVRIX_INSTALL_CMAKEDIR} COMPONENT sdk)

# The .pc file finds the prefix from where it lies, so the tree can move.
file(RELATIVE_PATH TAVRIX_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" TAVRIX_PC_TO_PREFIX "${TAVRIX_PC_TO_PREFIX}")
if(NOT WIN32)
  set(TAVRIX_PC_LINK_ONLY " -Wl,-rpath-link,\${libdir}/${TAVRIX_PACKAGE_NAME}/link-only")
endif()
configure_file(cmake/package/tavrix-1417.pc.in ${CMAKE_CURRENT_BINARY_DIR}/tavrix-1417.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tavrix-1417.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT sdk)

install(DIRECTORY docs/ DESTINATION ${TAVRIX_INSTALL_DOCDIR} COMPONENT sdk
  FILES_MATCHING PATTERN "*.md" PATTERN "*.png")
install(FILES examples/acquire_one.c examples/CMakeLists.txt examples/README.md
  DESTINATION ${TAVRIX_INSTALL_EXAMPLEDIR} COMPONENT sdk)

# The Python package in the Windows ZIP: python/tavrix, beside bin/ where it
# finds the DLL (on Linux python/CMakeLists.txt installs it).
if(WIN32)
  install(DIRECTORY python/tavrix DESTINATION python COMPONENT sdk
    FILES_MATCHING PATTERN "*.py" PATTERN "py.typed" PATTERN "__pycache__" EXCLUDE)
endif()

if(NOT WIN32)
  install(FILES $<TARGET_FILE:PCI_FRM01_link_only> DESTINATION ${TAVRIX_INSTALL_LINKONLYDIR} COMPONENT sdk)
endif()

install(FILES $<TARGET_FILE:PCI_FRM01> DESTINATION ${TAVRIX_INSTALL_SIMULATORDIR}
  PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
  COMPONENT simulator EXCLUDE_FROM_ALL)

# The two downloads: a ZIP for 32-bit Windows, a .tar.gz for Linux; both
# carry the simulator in its own folder.
set(CPACK_PACKAGE_NAME Tavrix1417-SDK)
set(CPACK_PACKAGE_VENDOR "Tavrix")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_COMPONENTS_ALL sdk simulator)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES OFF)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win32)
else()
  set(CPACK_GENERATOR TGZ)
  set(CPACK_SYSTEM_NAME linux-${CMAKE_SYSTEM_PROCESSOR})
endif()
include(CPack)
