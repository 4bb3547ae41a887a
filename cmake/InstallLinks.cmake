# Runs at install time, for the prefix given then: the converter link in the application
# folder, the launcher on the PATH and the desktop entry, all recorded in the install manifest
# so that uninstalling removes them too; then, for an install straight onto this machine, the
# desktop's caches of entries and icons are brought up to date.
set(prefix "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(appdir "${prefix}/${TORVANIX_INSTALL_APPDIR}")
set(applications "${prefix}/share/applications")
file(MAKE_DIRECTORY "${prefix}/bin" "${applications}")

# Within one top-level folder (/usr/lib/torvanix and /usr/bin) the link is relative, as Debian
# wants, so it still holds in an unpacked or relocated tree; across folders it is absolute.
string(REGEX MATCH "^/[^/]*" converter_top "${TORVANIX_CONVERTER}")
string(REGEX MATCH "^/[^/]*" appdir_top "${CMAKE_INSTALL_PREFIX}/${TORVANIX_INSTALL_APPDIR}")
set(converter "${TORVANIX_CONVERTER}")
if(converter_top STREQUAL appdir_top)
    file(RELATIVE_PATH converter "${CMAKE_INSTALL_PREFIX}/${TORVANIX_INSTALL_APPDIR}"
         "${TORVANIX_CONVERTER}")
endif()
file(CREATE_LINK "${converter}" "${appdir}/vconvert.exe" SYMBOLIC)
file(CREATE_LINK "../${TORVANIX_INSTALL_APPDIR}/torvanix" "${prefix}/bin/torvanix" SYMBOLIC)

file(READ "${TORVANIX_DESKTOP_ENTRY}" entry)
# /usr/bin is on every desktop's PATH; any other prefix's launcher is named in full, since its
# bin folder (~/.local/bin ...) may not be.
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    # Exec takes the launcher's full path in double quotes: inside them \ " ` $ are escaped with
    # a backslash, then every backslash is doubled for the entry's string syntax, and % becomes
    # %%. TryExec is a plain string: only the backslash is doubled.
    set(launcher "${CMAKE_INSTALL_PREFIX}/bin/torvanix")
    string(REPLACE "\\" "\\\\" try_launcher "${launcher}")
    string(REGEX REPLACE "([\\\\\"`$])" "\\\\\\1" launcher "${launcher}")
    string(REPLACE "\\" "\\\\" launcher "${launcher}")
    string(REPLACE "%" "%%" launcher "${launcher}")
    string(REPLACE "\nExec=torvanix " "\nExec=\"${launcher}\" " entry "${entry}")
    string(REPLACE "\nTryExec=torvanix\n" "\nTryExec=${try_launcher}\n" entry "${entry}")
endif()
get_filename_component(entry_name "${TORVANIX_DESKTOP_ENTRY}" NAME)
set(desktop "${applications}/${entry_name}")
file(WRITE "${desktop}" "${entry}")

set(made "${appdir}/vconvert.exe" "${prefix}/bin/torvanix" "${desktop}")

# A package leaves this to dpkg's triggers. The caches are recorded only when this install made
# them, so that uninstalling leaves the folders as they were.
if("$ENV{DESTDIR}" STREQUAL "")
    set(icons "${prefix}/share/icons/hicolor")
    foreach(cache_tool update-desktop-database gtk-update-icon-cache)
        find_program(${cache_tool}_path ${cache_tool})
    endforeach()
    foreach(step "update-desktop-database;${applications};mimeinfo.cache"
                 "gtk-update-icon-cache;${icons};icon-theme.cache")
        list(GET step 0 tool)
        list(GET step 1 folder)
        list(GET step 2 cache)
        if(NOT ${tool}_path)
            continue()
        endif()
        set(existed FALSE)
        if(EXISTS "${folder}/${cache}")
            set(existed TRUE)
        endif()
        set(options "")
        if(tool STREQUAL "gtk-update-icon-cache")
            # -t: a per-user hicolor folder has no index.theme of its own.
            set(options -q -t)
        endif()
        execute_process(COMMAND "${${tool}_path}" ${options} "${folder}"
                        RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
        if(NOT status EQUAL 0)
            message(STATUS "Not updated (${tool} failed): ${folder}/${cache}")
        elseif(NOT existed AND EXISTS "${folder}/${cache}")
            list(APPEND made "${folder}/${cache}")
        endif()
    endforeach()
endif()

foreach(file IN LISTS made)
    message(STATUS "Installing: ${file}")
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${file}")
endforeach()
