# Runs in CPack, after the install into the package's folder: adds the files only a Debian
# package carries. The folder is the package's root, since the install used DESTDIR.
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
set(folder_permissions
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(file_permissions OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(COPY ${CPACK_TORVANIX_DEBIAN_DOCS} DESTINATION "${root}/usr/share/doc/torvanix"
     FILE_PERMISSIONS ${file_permissions} DIRECTORY_PERMISSIONS ${folder_permissions})
file(MAKE_DIRECTORY "${root}/usr/share/lintian/overrides")
file(COPY_FILE "${CPACK_TORVANIX_LINTIAN_OVERRIDES}" "${root}/usr/share/lintian/overrides/torvanix")
