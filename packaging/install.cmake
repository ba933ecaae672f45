# Install rules and the Debian package of the daemon.
#
#   cmake --install BUILD [--prefix P]   installs
#     bin/zorvik
#     share/doc/zorvik/{README.md,commands.txt}
#     share/man/man1/zorvik.1.gz
#     lib/systemd/system/{zorvik.service,zorvik@.service}
#   cpack -G DEB (in BUILD)              builds zorvik_<version>_<arch>.deb
#     with prefix /usr and the units in /lib/systemd/system (Debian 12).
#
# The units name /usr/bin/zorvik, so they only work as they are for the
# prefix /usr; with another prefix, adapt ExecStart in a drop-in.

include(GNUInstallDirs)

set(zorvik_packaging_dir ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS zorvik RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/commands.txt
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The manual page carries the project's version. Debian ships manual pages
# compressed; gzip -n keeps the file the same from build to build (no name
# or time stamp inside).
configure_file(${zorvik_packaging_dir}/zorvik.1.in ${PROJECT_BINARY_DIR}/packaging/zorvik.1 @ONLY)
find_program(ZORVIK_GZIP gzip)
if(ZORVIK_GZIP)
    set(zorvik_man_page ${PROJECT_BINARY_DIR}/packaging/zorvik.1.gz)
    add_custom_command(
        OUTPUT ${zorvik_man_page}
        COMMAND ${ZORVIK_GZIP} -9 -n -c ${PROJECT_BINARY_DIR}/packaging/zorvik.1 > ${zorvik_man_page}
        DEPENDS ${PROJECT_BINARY_DIR}/packaging/zorvik.1
        COMMENT "Compressing the manual page zorvik(1)"
        VERBATIM)
    add_custom_target(zorvik_man_page ALL DEPENDS ${zorvik_man_page})
else()
    set(zorvik_man_page ${PROJECT_BINARY_DIR}/packaging/zorvik.1)
endif()
install(FILES ${zorvik_man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Units go where systemd looks for them: under the prefix, except that the
# prefix /usr (the Debian package, or a system-wide install) puts them in
# /lib/systemd/system as Debian 12 packages do. The choice is made when the
# install runs, because CPack installs with its own prefix.
install(CODE "
    if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
        set(zorvik_unit_dir \"/lib/systemd/system\")
    else()
        set(zorvik_unit_dir \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\")
    endif()
    file(INSTALL DESTINATION \"\${zorvik_unit_dir}\" TYPE FILE
         PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
         FILES \"${zorvik_packaging_dir}/zorvik.service\" \"${zorvik_packaging_dir}/zorvik@.service\")
")

# The Debian package.
set(CPACK_PACKAGE_NAME zorvik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Zorvik developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tox chat bot daemon that hosts conferences and invites friends")
set(CPACK_PACKAGE_DESCRIPTION "\
zorvik runs one Tox identity as a chat bot. Friends send it text commands.
It creates text and audio conferences, invites friends into them (optionally
behind a password) and lets masters, listed in a plain file, manage its
conferences and profile. The package installs the daemon, its manual page
and the systemd units zorvik.service, which runs it as the system user
zorvik with its state in /var/lib/zorvik, and zorvik@.service, which runs
more bots, each as a user of its own with its state in /var/lib/zorvik-NAME.")
set(CPACK_GENERATOR DEB)
# Install into a staging DESTDIR with the real prefix /usr, so the install
# code above sees /usr and places the units in /lib/systemd/system.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(ZORVIK_DEB_MAINTAINER "Zorvik maintainers <zorvik@localhost>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZORVIK_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The maintainer scripts create the account with adduser, or useradd (from
# passwd) where adduser is missing.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser | passwd")
# dpkg-shlibdeps (from dpkg-dev) derives the library packages, the Tox
# library's libtoxcore2 among them, with their minimum versions from the
# binary; without it (or without the file utility, which CPack needs to
# use it) they are named here.
find_program(ZORVIK_DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(ZORVIK_FILE_UTILITY file)
if(ZORVIK_DPKG_SHLIBDEPS AND ZORVIK_FILE_UTILITY)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
    string(PREPEND CPACK_DEBIAN_PACKAGE_DEPENDS "libtoxcore2 (>= 0.2.18), libc6, ")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${zorvik_packaging_dir}/debian/postinst
    ${zorvik_packaging_dir}/debian/prerm
    ${zorvik_packaging_dir}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
