# Run by cmake --install: writes the desktop entry once the prefix is known,
# Exec and TryExec naming the installed executable by its full path.
# TAVIX_ENTRY_TEMPLATE is set by the install code before this script.
set(path "${CMAKE_INSTALL_PREFIX}/bin/tavix")

# Exec holds one argument: quoted when the path has anything but plain
# characters; within the quotes ", `, $ and \ take a backslash and % is
# doubled. Then, as for any string value, each backslash is doubled.
set(TAVIX_EXEC "${path}")
if(path MATCHES "[^A-Za-z0-9_./+-]")
  string(REPLACE "\\" "\\\\" TAVIX_EXEC "${TAVIX_EXEC}")
  string(REPLACE "\"" "\\\"" TAVIX_EXEC "${TAVIX_EXEC}")
  string(REPLACE "`" "\\`" TAVIX_EXEC "${TAVIX_EXEC}")
  string(REPLACE "$" "\\$" TAVIX_EXEC "${TAVIX_EXEC}")
  string(REPLACE "%" "%%" TAVIX_EXEC "${TAVIX_EXEC}")
  set(TAVIX_EXEC "\"${TAVIX_EXEC}\"")
endif()
string(REPLACE "\\" "\\\\" TAVIX_EXEC "${TAVIX_EXEC}")
string(REPLACE "\\" "\\\\" TAVIX_TRYEXEC "${path}")

set(entry "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/applications/tavix.desktop")
message(STATUS "Installing: ${entry}")
configure_file("${TAVIX_ENTRY_TEMPLATE}" "${entry}" @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${entry}")
