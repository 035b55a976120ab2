# `make install` for Linux hosts: the library, its header, a pkg-config file, the CLI and the bundled
# profiles. Windows hosts get the DLLs from `make dist-windows` instead.
if(WIN32)
  return()
endif()
include(GNUInstallDirs)

install(TARGETS brivane LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/brivane.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/profiles/ DESTINATION ${CMAKE_INSTALL_DATADIR}/brivane/profiles
  FILES_MATCHING PATTERN "*.prx")

# The installed CLI finds the library beside it, wherever the prefix is.
file(RELATIVE_PATH CLI_TO_LIBRARY /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
set_target_properties(brivane_cli PROPERTIES INSTALL_RPATH "$ORIGIN/${CLI_TO_LIBRARY}")
install(TARGETS brivane_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The prefix is known only when installing (`cmake --install --prefix` may change it), so the
# pkg-config file is written then.
install(CODE "
  set(BRIVANE_PC_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(BRIVANE_PC_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(BRIVANE_PC_VERSION \"${PROJECT_VERSION}\")
  set(BRIVANE_PC_FILE \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig/brivane.pc\")
  message(STATUS \"Installing: \${BRIVANE_PC_FILE}\")
  configure_file(\"${CMAKE_CURRENT_LIST_DIR}/brivane.pc.in\" \"\${BRIVANE_PC_FILE}\" @ONLY)
")
