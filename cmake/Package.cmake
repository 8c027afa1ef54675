# Debian package of the installed layout: cpack -G DEB in the build folder
# (scripts/package.sh does it all from a clean checkout).
set(CPACK_GENERATOR DEB)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME tavix)
set(CPACK_PACKAGE_VENDOR MOLVERAN)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tavix <tavix@molveran.fr>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop time tracker by client and activity")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The summary above is the synopsis; this is the long description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tavix (\"surveillance de tâches\") times the work done for several clients:
one click on an activity button starts the stopwatch, a second click stores
the duration with the client and a comment in an SQLite database. A
consultation window filters the stored entries by client, activity and
dates, writes a report with the total and lets them be corrected.
.
The user interface is in French.")
# Libraries come from dpkg-shlibdeps; the display plugins and the toolkit's
# translations are loaded at run time, so the binary cannot name them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
# Without the translations only the toolkit's own dialogs stay in English.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)

# Debian's documentation of the package: copyright, a compressed changelog
# and the manual page.
set(TAVIX_DEBIAN_DIR ${CMAKE_SOURCE_DIR}/platform/linux)
configure_file(${TAVIX_DEBIAN_DIR}/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)
set(TAVIX_GZIPPED)
foreach(source ${CMAKE_BINARY_DIR}/changelog ${TAVIX_DEBIAN_DIR}/tavix.1)
  get_filename_component(name ${source} NAME)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/${name}.gz
    COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" sh ${source} ${CMAKE_BINARY_DIR}/${name}.gz
    DEPENDS ${source}
    VERBATIM)
  list(APPEND TAVIX_GZIPPED ${CMAKE_BINARY_DIR}/${name}.gz)
endforeach()
add_custom_target(tavix_docs ALL DEPENDS ${TAVIX_GZIPPED})
install(FILES ${TAVIX_DEBIAN_DIR}/copyright ${CMAKE_BINARY_DIR}/changelog.gz
        DESTINATION share/doc/tavix)
install(FILES ${CMAKE_BINARY_DIR}/tavix.1.gz DESTINATION share/man/man1)
# Where bash-completion looks for a command's completion, by its name.
install(FILES ${TAVIX_DEBIAN_DIR}/tavix.bash-completion DESTINATION share/bash-completion/completions
        RENAME tavix)

include(CPack)
