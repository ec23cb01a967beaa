# Installation and packages.
#
# `cmake --install` puts the programs in bin/ and, on POSIX, the manual pages
# (compressed, as Debian keeps them) in share/man/man1, the bash completions
# in share/bash-completion/completions and the README in the package's doc
# folder. CPack makes a .deb for the native build
# (zub_13_amd64.deb, `apt install ./zub_*.deb`) and a .zip for each Windows
# build (zub-13-win32.zip, zub-13-win64.zip: the .exe files, README and
# licence at the top of one folder).
include(GNUInstallDirs)

set(ZUB_PROGRAMS zub64 quarnel)
if(TARGET zub)
  list(APPEND ZUB_PROGRAMS zub)
endif()
set(ZUB_LICENCE "")
foreach(name LICENSE LICENSE.txt LICENSE.md COPYING)
  if(NOT ZUB_LICENCE AND EXISTS ${PROJECT_SOURCE_DIR}/${name})
    set(ZUB_LICENCE ${PROJECT_SOURCE_DIR}/${name})
  endif()
endforeach()

if(WIN32)
  install(TARGETS ${ZUB_PROGRAMS} RUNTIME DESTINATION .)
  install(FILES README.md ${ZUB_LICENCE} DESTINATION .)
else()
  install(TARGETS ${ZUB_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  set(pages "")
  foreach(page zub64.1 quarnel.1)
    set(packed ${PROJECT_BINARY_DIR}/man/${page}.gz)
    add_custom_command(OUTPUT ${packed}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
      COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/man/${page} > ${packed}
      DEPENDS ${PROJECT_SOURCE_DIR}/man/${page}
      VERBATIM)
    list(APPEND pages ${packed})
  endforeach()
  add_custom_target(manual_pages ALL DEPENDS ${pages})
  install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # bash-completion loads a program's file by the program's name.
  install(FILES console/zub64.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME zub64)
  install(FILES lister/quarnel.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME quarnel)
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  if(ZUB_LICENCE)
    install(FILES ${ZUB_LICENCE} DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
  endif()
endif()

set(CPACK_PACKAGE_NAME zub)
set(CPACK_PACKAGE_VERSION 13)
set(CPACK_PACKAGE_VENDOR "zub")
set(CPACK_PACKAGE_CONTACT "zub developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "compare two folder trees pair by pair and remove identical copies")
set(CPACK_PACKAGE_DESCRIPTION
  "zub64 pairs every file of a source tree with the file of the same relative path in a destination tree, judges each pair by size, time and content, writes the findings to result files and on request removes the identical copies on one side. quarnel lists a folder tree with file sizes.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
