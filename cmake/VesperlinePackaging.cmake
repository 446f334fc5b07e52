# The Debian packages: `cpack -G DEB` in a build tree (the `package` preset is
# the one meant for it: optimised, hardened, no sanitizers, no tests, and a
# unity build, which halves its compile time; it relies on file-local names
# being unique within a library). Two packages from one tree, one per install
# component: `vesperline-relay`, the tray application (`app`), and
# `vesperline`, the phone-side client (`phone`). The kit's headers, libraries
# and CMake package are installed with `cmake --install <tree> --component kit`
# by whoever builds against it.
set(CPACK_PACKAGE_NAME vesperline-relay)
set(CPACK_PACKAGE_VENDOR "The Vesperline developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Each package's description is its own variable below: the synopsis on the
# first line, then the extended description. The summary is left empty, since
# CPack puts any other (the project's description by default) before every
# package's own synopsis.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_DEBIAN_APP_DESCRIPTION "tray application to follow coding agents from a phone
Vesperline Relay lives in the system tray and runs a small relay server
on this computer. The relay learns about Claude Code and Codex sessions
through the agents' own hooks; paired phones follow those sessions and
answer the agents' permission prompts through it.
.
The application installs and supervises the relay, shows the agents'
sessions, the pairing QR code and the paired phones, switches away mode
and adds the relay's hooks to the agents' configuration.")
set(CPACK_PACKAGE_CONTACT ${VESPERLINE_PACKAGE_MAINTAINER})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# One package per component, of these two components only (the kit's
# development files go into none).
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL app phone)
set(CPACK_DEBIAN_APP_PACKAGE_NAME vesperline-relay)
set(CPACK_DEBIAN_PHONE_PACKAGE_NAME vesperline)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VESPERLINE_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Linked libraries come from dpkg-shlibdeps; these three are loaded or run
# rather than linked: qtkeychain opens libsecret at run time, the relay is a
# python3 script, and the relay makes its certificate with openssl.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_APP_PACKAGE_DEPENDS "libsecret-1-0, python3 (>= 3.9), openssl")
# The client loads its QML modules (and qtkeychain its libsecret) at run time;
# nothing links them, so dpkg-shlibdeps cannot find them.
set(CPACK_DEBIAN_PHONE_PACKAGE_DEPENDS "libsecret-1-0, qml6-module-qtquick, qml6-module-qtquick-controls, \
qml6-module-qtquick-templates, qml6-module-qtquick-layouts, qml6-module-qtquick-window, \
qml6-module-qtquick-dialogs, qml6-module-qtqml-workerscript, qml6-module-qtmultimedia, qml6-module-qtquick-shapes")
set(CPACK_DEBIAN_PHONE_DESCRIPTION "follow coding agents and answer their prompts
Vesperline pairs with the relay that Vesperline Relay runs on a computer
and shows the Claude Code and Codex sessions it knows: which work, which
finished and which wait. Claude's permission prompts are answered from
its window or from their notifications.
.
It pairs from the relay's QR code (camera or picture) or pairing link,
pins the relay's certificate and keeps its connections in the secret
store. It also switches away mode and has a red night mode.")
# A Wayland session needs the Qt platform plugin for it,
# which nothing links.
set(CPACK_DEBIAN_APP_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_PHONE_PACKAGE_RECOMMENDS "qt6-wayland, gnome-keyring")
set(CPACK_DEBIAN_APP_PACKAGE_SUGGESTS "gnome-shell-extension-appindicator, gnome-keyring")
set(CPACK_DEBIAN_PHONE_PACKAGE_SUGGESTS "vesperline-relay")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)

# The package and the kit's CMake package are tested from their own build
# tree, made once by the `package.build` fixture: the sanitized test build
# cannot go into a package, nor link a program that does not use the
# sanitizers itself.
if(VESPERLINE_BUILD_TESTS)
  set(VESPERLINE_PACKAGE_TREE ${PROJECT_BINARY_DIR}/package)
  add_test(NAME package.build
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/package.sh ${VESPERLINE_PACKAGE_TREE}
           WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
  set_tests_properties(package.build PROPERTIES
    FIXTURES_SETUP package_tree LABELS package TIMEOUT 900 RUN_SERIAL ON)
  add_test(NAME package.deb
           COMMAND ${PROJECT_SOURCE_DIR}/relay-app/tests/package/check_package.sh ${VESPERLINE_PACKAGE_TREE} vesperline-relay)
  add_test(NAME package.phone_deb
           COMMAND ${PROJECT_SOURCE_DIR}/relay-app/tests/package/check_package.sh ${VESPERLINE_PACKAGE_TREE} vesperline)
  add_test(NAME package.phone_standalone
           COMMAND ${PROJECT_SOURCE_DIR}/phone-app/tests/package/build_standalone.sh
                   ${VESPERLINE_PACKAGE_TREE} ${PROJECT_SOURCE_DIR}/phone-app)
  add_test(NAME package.kit_consumer
           COMMAND ${PROJECT_SOURCE_DIR}/examples/kit-consumer/test_kit_consumer.sh
                   ${VESPERLINE_PACKAGE_TREE} ${PROJECT_SOURCE_DIR}/examples/kit-consumer)
  set_tests_properties(package.deb package.phone_deb package.phone_standalone package.kit_consumer PROPERTIES
    FIXTURES_REQUIRED package_tree LABELS package TIMEOUT 300)
endif()
