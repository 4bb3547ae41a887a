# Runs at install time, for the prefix given then: the converter link in the application
# folder, the launcher on the PATH and the desktop entry, all recorded in the install manifest
# so that uninstalling removes them too.
set(prefix "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(appdir "${prefix}/${TORVANIX_INSTALL_APPDIR}")
file(MAKE_DIRECTORY "${prefix}/bin" "${prefix}/share/applications")
file(CREATE_LINK "${TORVANIX_CONVERTER}" "${appdir}/vconvert.exe" SYMBOLIC)
file(CREATE_LINK "../${TORVANIX_INSTALL_APPDIR}/torvanix" "${prefix}/bin/torvanix" SYMBOLIC)

# Exec takes the launcher's full path in double quotes: inside them \ " ` $ are escaped with a
# backslash, then every backslash is doubled for the entry's string syntax, and % becomes %%.
set(launcher "${CMAKE_INSTALL_PREFIX}/bin/torvanix")
string(REGEX REPLACE "([\\\\\"`$])" "\\\\\\1" launcher "${launcher}")
string(REPLACE "\\" "\\\\" launcher "${launcher}")
string(REPLACE "%" "%%" launcher "${launcher}")
file(READ "${TORVANIX_DESKTOP_ENTRY}" entry)
string(REPLACE "Exec=torvanix" "Exec=\"${launcher}\"" entry "${entry}")
set(desktop "${prefix}/share/applications/torvanix.desktop")
file(WRITE "${desktop}" "${entry}")

foreach(made "${appdir}/vconvert.exe" "${prefix}/bin/torvanix" "${desktop}")
    message(STATUS "Installing: ${made}")
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${made}")
endforeach()
