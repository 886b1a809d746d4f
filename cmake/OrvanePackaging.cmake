# Install rules and the two Debian packages that scripts/package makes with CPack:
#   orvane-storage-gateway-app          the app's bundle, the helper and launchctl, their units,
#                                       polkit action and rule, group, user, folders, menu entry
#   orvane-storage-gateway-dev-gateway  the development gateway and its unit
#   orvane-storage-gateway-common       the group, the system user and the folders both use
# Paths are those the Linux layer maps the logic's system paths to (rooted_system_paths.cpp).

include(GNUInstallDirs)

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(pkg_dir "${PROJECT_SOURCE_DIR}/resources/package")
set(lib_dir "lib/orvane-storage-gateway")
set(libexec_dir "libexec/orvane-storage-gateway")
set(bundle_name "orvane Storage Gateway.app")
set(bundle "${lib_dir}/${bundle_name}/Contents")
# Units stay where the product's job definitions map to, below the root, not /usr.
set(unit_dir "/lib/systemd/system")

# The bundle as the build lays it out, so the app finds its resources, the helper's copy (whose
# version it compares with the installed helper) and the login item beside its executable.
install(FILES "${ORVANE_BUNDLE_CONTENTS}/Info.plist" DESTINATION "${bundle}" COMPONENT app)
install(TARGETS OrvaneStorageGatewayApp RUNTIME DESTINATION "${bundle}/MacOS" COMPONENT app)
install(FILES ${ORVANE_BUNDLE_ICONS} DESTINATION "${bundle}/Resources"
        COMPONENT app)
install(DIRECTORY "${ORVANE_TRANSLATIONS_DIR}" DESTINATION "${bundle}/Resources" COMPONENT app)
install(DIRECTORY "${ORVANE_ICON_THEME_DIR}/" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor"
        COMPONENT app)
install(PROGRAMS "${PROJECT_SOURCE_DIR}/resources/orvane_storage_grateway_app_logs.sh"
        DESTINATION "${bundle}/Resources" COMPONENT app)
set(login_item "${bundle}/Library/LoginItems/QORLauncher.app/Contents")
install(FILES "${ORVANE_BUNDLE_CONTENTS}/Library/LoginItems/QORLauncher.app/Contents/Info.plist"
        DESTINATION "${login_item}" COMPONENT app)
install(TARGETS QORLauncher RUNTIME DESTINATION "${login_item}/MacOS" COMPONENT app)

# The helper goes in under its label, twice: the installed program and the bundle's copy. As a
# target it is stripped with the rest; the label is given after.
install(TARGETS QorPrivilegedHelper RUNTIME DESTINATION "${libexec_dir}" COMPONENT app)
install(TARGETS QorPrivilegedHelper RUNTIME DESTINATION "${bundle}/Library/LaunchServices"
        COMPONENT app)
install(TARGETS launchctl RUNTIME DESTINATION "${libexec_dir}" COMPONENT app)
install(CODE "
  set(prefix \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  foreach(dir \"${libexec_dir}\" \"${bundle}/Library/LaunchServices\")
    file(RENAME \"\${prefix}/\${dir}/QorPrivilegedHelper\"
                \"\${prefix}/\${dir}/com.velmora.QorPrivilegedHelper\")
  endforeach()
  # On PATH for menus and terminals; the app finds its bundle through /proc/self/exe.
  file(MAKE_DIRECTORY \"\${prefix}/bin\")
  file(CREATE_LINK \"../${bundle}/MacOS/orvane Storage Gateway\"
       \"\${prefix}/bin/orvane-storage-gateway\" SYMBOLIC)
" COMPONENT app)

install(FILES "${PROJECT_SOURCE_DIR}/resources/systemd/com.velmora.QorPrivilegedHelper.service"
              "${PROJECT_SOURCE_DIR}/resources/systemd/com.velmora.QorPrivilegedHelper.socket"
        DESTINATION "${unit_dir}" COMPONENT app)
install(FILES "${PROJECT_SOURCE_DIR}/resources/polkit/com.velmora.qorprivilegedhelper.policy"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/polkit-1/actions" COMPONENT app)
install(FILES "${PROJECT_SOURCE_DIR}/resources/polkit/50-orvane.rules"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/polkit-1/rules.d" COMPONENT app)
install(FILES "${pkg_dir}/common/orvane-storage-gateway.sysusers" DESTINATION "lib/sysusers.d"
        RENAME orvane-storage-gateway.conf COMPONENT common)
install(FILES "${pkg_dir}/common/orvane-storage-gateway.tmpfiles" DESTINATION "lib/tmpfiles.d"
        RENAME orvane-storage-gateway.conf COMPONENT common)
install(FILES "${pkg_dir}/app/com.velmora.OrvaneStorageGatewayApp.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications" COMPONENT app)
# What software centres list: the release is this build's version.
string(TIMESTAMP ORVANE_RELEASE_DATE "%Y-%m-%d" UTC)
configure_file("${pkg_dir}/app/com.velmora.OrvaneStorageGatewayApp.metainfo.xml.in"
               "${CMAKE_BINARY_DIR}/package/com.velmora.OrvaneStorageGatewayApp.metainfo.xml" @ONLY)
install(FILES "${CMAKE_BINARY_DIR}/package/com.velmora.OrvaneStorageGatewayApp.metainfo.xml"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo" COMPONENT app)

install(TARGETS orvane-dev-gateway RUNTIME DESTINATION "${libexec_dir}" COMPONENT dev_gateway)
install(FILES "${PROJECT_SOURCE_DIR}/tools/dev-gateway/com.velmora.OrvaneStorageGateway.service"
        DESTINATION "${unit_dir}" COMPONENT dev_gateway)

# Each package's copyright and changelog, and the page for the command on PATH, as Debian wants
# them: compressed alike every time, so equal sources give equal packages.
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(ORVANE_CHANGELOG_DATE "${changelog_date}")
set(doc_build "${CMAKE_BINARY_DIR}/package")
configure_file("${pkg_dir}/changelog.in" "${doc_build}/changelog" @ONLY)
configure_file("${pkg_dir}/app/orvane-storage-gateway.1" "${doc_build}/orvane-storage-gateway.1"
               COPYONLY)
find_program(ORVANE_GZIP gzip REQUIRED)
set(compressed_docs)
foreach(doc changelog orvane-storage-gateway.1)
  add_custom_command(OUTPUT "${doc_build}/${doc}.gz" DEPENDS "${doc_build}/${doc}"
    COMMAND "${ORVANE_GZIP}" -9nkf "${doc_build}/${doc}")
  list(APPEND compressed_docs "${doc_build}/${doc}.gz")
endforeach()
add_custom_target(orvane_package_docs ALL DEPENDS ${compressed_docs})
install(FILES "${doc_build}/orvane-storage-gateway.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1"
        COMPONENT app)
foreach(component app dev_gateway common)
  string(REPLACE _ - package "orvane-storage-gateway-${component}")
  install(FILES "${pkg_dir}/copyright" "${doc_build}/changelog.gz"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/${package}" COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane-storage-gateway)
set(CPACK_PACKAGE_VENDOR Velmora)
set(CPACK_PACKAGE_CONTACT "Velmora <support@velmora.com>")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Units below /lib are absolute destinations; a DESTDIR install takes them as they are.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
set(CPACK_COMPONENTS_ALL app dev_gateway common)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_APP_PACKAGE_NAME orvane-storage-gateway-app)
# The libraries come from shlibdeps; these are what the programs start or load by name: Qt's
# display plugins, polkit's daemon for the helper's gate, the service manager and its tools for
# the maintainer scripts, and the desktop programs the menu opens.
set(CPACK_DEBIAN_APP_PACKAGE_DEPENDS
    "orvane-storage-gateway-common (>= ${PROJECT_VERSION}), qt6-qpa-plugins, polkitd, systemd, \
init-system-helpers (>= 1.54~), xdg-utils, less")
# Qt's own catalogs put the dialogs Qt draws itself (the folder chooser) in the session's language.
set(CPACK_DEBIAN_APP_PACKAGE_RECOMMENDS "x-terminal-emulator, qt6-translations-l10n")
set(CPACK_DEBIAN_APP_PACKAGE_CONTROL_EXTRA
    "${pkg_dir}/app/postinst;${pkg_dir}/app/prerm;${pkg_dir}/app/postrm")
set(CPACK_COMPONENT_APP_DESCRIPTION
    "Orvane Storage Gateway menu-bar app and its privileged helper\n\
The tray application of the Orvane Storage Gateway: it shows whether the\n\
gateway runs, starts and stops it through a privileged helper that polkit\n\
guards, opens its logs and configuration backups, and sets it up with the\n\
Orvane cloud service. Members of the group orvane control the gateway\n\
without a password.")

set(CPACK_DEBIAN_DEV_GATEWAY_PACKAGE_NAME orvane-storage-gateway-dev-gateway)
# The gateway needs only the group, the user and the folders; the app is what drives it, but
# removing or upgrading the app alone must leave a running gateway running.
set(CPACK_DEBIAN_DEV_GATEWAY_PACKAGE_DEPENDS
    "orvane-storage-gateway-common (>= ${PROJECT_VERSION}), systemd")
set(CPACK_DEBIAN_DEV_GATEWAY_PACKAGE_SUGGESTS "orvane-storage-gateway-app")
set(CPACK_DEBIAN_DEV_GATEWAY_PACKAGE_CONTROL_EXTRA
    "${pkg_dir}/dev-gateway/postinst;${pkg_dir}/dev-gateway/prerm;${pkg_dir}/dev-gateway/postrm")
set(CPACK_COMPONENT_DEV_GATEWAY_DESCRIPTION
    "Development stand-in for the Orvane Storage Gateway daemon\n\
Runs as the gateway's systemd unit for development and testing of the app:\n\
it reads the gateway's config.ini and logs a heartbeat. It stores nothing;\n\
not for production use.")

set(CPACK_DEBIAN_COMMON_PACKAGE_NAME orvane-storage-gateway-common)
set(CPACK_DEBIAN_COMMON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_COMMON_PACKAGE_DEPENDS "systemd")
set(CPACK_DEBIAN_COMMON_PACKAGE_CONTROL_EXTRA "${pkg_dir}/common/postinst")
set(CPACK_COMPONENT_COMMON_DESCRIPTION
    "Orvane Storage Gateway's group, system user and folders\n\
The group orvane, whose members set up and control the gateway, the system\n\
user orvane-gateway the gateway runs as, and the folders of its\n\
configuration, backups and log. Shared by the app and the gateway.")

include(CPack)
