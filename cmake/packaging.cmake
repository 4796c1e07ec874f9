# Debian packages, one per install component:
#   libtarvik1      libtarvik and libmirtel with the language files
#   libtarvik-dev   headers, pkg-config files, the CMake package
#   tarvik-tools    trvctl, trvsim and velsor with their manual pages
#   tarvik-gateway  trvgw, its support page, its systemd unit and udev rule,
#                   an example configuration and its manual page
#   python3-tarvik  the Python package (Architecture: all), byte-compiled on
#                   installation as Debian's Python packages are
# Build them with `cmake --build BUILD --target package` from a build
# configured with -DCMAKE_INSTALL_PREFIX=/usr (scripts/package.sh does it all).

# Manual pages and the per-package documentation Debian asks for, compressed
# as Debian compresses them (gzip -9n: no name, no time stamp).
set(PKG_DIR ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(PKG_OUT ${CMAKE_CURRENT_BINARY_DIR}/packaging)
configure_file(${PKG_DIR}/changelog ${PKG_OUT}/changelog.Debian @ONLY)
file(GLOB PKG_MAN_PAGES CONFIGURE_DEPENDS ${PKG_DIR}/man/*.1)
set(PKG_GZ ${PKG_OUT}/changelog.Debian.gz)
add_custom_command(OUTPUT ${PKG_OUT}/changelog.Debian.gz
  COMMAND gzip -9n -c ${PKG_OUT}/changelog.Debian > ${PKG_OUT}/changelog.Debian.gz
  DEPENDS ${PKG_OUT}/changelog.Debian)
foreach(page ${PKG_MAN_PAGES})
  get_filename_component(name ${page} NAME)
  add_custom_command(OUTPUT ${PKG_OUT}/${name}.gz
    COMMAND gzip -9n -c ${page} > ${PKG_OUT}/${name}.gz
    DEPENDS ${page})
  list(APPEND PKG_GZ ${PKG_OUT}/${name}.gz)
  set(comp tools)
  if(name STREQUAL "trvgw.1" OR name STREQUAL "trvsink.1")
    set(comp gateway)
  endif()
  install(FILES ${PKG_OUT}/${name}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${comp})
endforeach()
add_custom_target(packaging_docs ALL DEPENDS ${PKG_GZ})

set(PKG_NAME_runtime libtarvik1)
set(PKG_NAME_dev libtarvik-dev)
set(PKG_NAME_tools tarvik-tools)
set(PKG_NAME_gateway tarvik-gateway)
set(PKG_NAME_python python3-tarvik)
foreach(c runtime dev tools gateway python)
  install(FILES ${PKG_DIR}/copyright ${PKG_OUT}/changelog.Debian.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${PKG_NAME_${c}} COMPONENT ${c})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvik)
set(CPACK_PACKAGE_VENDOR "tarvik developers")
set(CPACK_PACKAGE_CONTACT "tarvik developers <dev@tarvik.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(PKG_VERSION ${PROJECT_VERSION}-1)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools gateway python)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tarvik.invalid/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# trvctl links the libraries of this very build; dpkg-shlibdeps finds them here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_CURRENT_BINARY_DIR})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY "=")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${PKG_NAME_runtime})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "drivers for tarvik fiscal cash registers
libtarvik carries requests to a tarvik fiscal cash register over a serial
port, a dial-up modem, an FTDI USB bridge or TCP, and libmirtel offers one
function pair per register command. This package holds both shared
libraries (libtarvik ${PROJECT_VERSION}, libmirtel ${MIRTEL_VERSION}) and the
language files of their status texts.")

# Debian wants the dynamic linker's cache refreshed through a trigger.
file(WRITE ${PKG_OUT}/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PKG_OUT}/triggers)

set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${PKG_NAME_dev})
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${PKG_NAME_runtime} (= ${PKG_VERSION})")
set(CPACK_DEBIAN_DEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_COMPONENT_DEV_DESCRIPTION "drivers for tarvik fiscal cash registers (development files)
The C headers of libtarvik and libmirtel, their pkg-config files and the
CMake package (find_package(tarvik) gives tarvik::tarvik and
tarvik::mirtel).")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ${PKG_NAME_tools})
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${PKG_NAME_runtime} (= ${PKG_VERSION})")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "tools for tarvik fiscal cash registers
trvctl drives a register from the shell, trvsim simulates a register on a
loopback port or a pty for development without a register, and velsor turns
the frame dumps of the library's debug log back into frames.")

# The gateway as a system service: the unit, the udev rule for the USB
# bridge, the maintainer scripts that add its system user, and an example
# configuration (the service starts once /etc/trvgw/trvgw.json exists).
set(GW_DIR ${PKG_DIR}/gateway)
install(FILES ${GW_DIR}/trvgw.service DESTINATION /lib/systemd/system COMPONENT gateway)
install(FILES ${GW_DIR}/60-trvgw.rules DESTINATION /lib/udev/rules.d COMPONENT gateway)
install(FILES ${GW_DIR}/trvgw.json DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${PKG_NAME_gateway}/examples
  COMPONENT gateway)
set(CPACK_DEBIAN_GATEWAY_PACKAGE_NAME ${PKG_NAME_gateway})
set(CPACK_DEBIAN_GATEWAY_PACKAGE_SECTION net)
set(CPACK_DEBIAN_GATEWAY_PACKAGE_DEPENDS "${PKG_NAME_runtime} (= ${PKG_VERSION}), adduser")
set(CPACK_DEBIAN_GATEWAY_PACKAGE_SUGGESTS "${PKG_NAME_tools}, nats-server, postgresql")
set(CPACK_DEBIAN_GATEWAY_PACKAGE_CONTROL_EXTRA ${GW_DIR}/postinst ${GW_DIR}/prerm ${GW_DIR}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_GATEWAY_DESCRIPTION "HTTP/JSON gateway for tarvik fiscal cash registers
trvgw serves registers to web and mobile point-of-sale software over
HTTP/JSON. Every command that changes something is a job, written to a
SQLite database before it is sent, so that a lost answer leaves the job
unknown, never forgotten and never sent twice. A support page at / shows the
registers, their job queues and sale journal, live. The package runs it as a
systemd service under its own user.
.
For a chain of shops, each shop's trvgw publishes its sale records, fiscal
outcomes and register health to the shop's NATS leaf node (JetStream) and
applies the price lists head office sends; trvsink, at head office, writes
what the shops publish into PostgreSQL, each record exactly once.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME ${PKG_NAME_python})
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "${PKG_NAME_runtime} (= ${PKG_VERSION}), python3:any")
set(CPACK_DEBIAN_PYTHON_PACKAGE_SHLIBDEPS OFF)
set(CPACK_COMPONENT_PYTHON_DESCRIPTION "Python package for tarvik fiscal cash registers
The package tarvik drives a tarvik fiscal cash register from Python 3
through libtarvik and libmirtel (ctypes, no compiled extension): a
connection as a context manager, every register command by name with
named results, the register's tables as mappings, the sale journal, card
events, futures for pipelined requests, and exceptions that tell whether a
request was done, not done or has an unknown outcome.")
# Byte-compiled on installation and cleaned on removal, as dh_python3 does.
configure_file(${PKG_DIR}/python3-tarvik.postinst ${PKG_OUT}/python/postinst COPYONLY)
configure_file(${PKG_DIR}/python3-tarvik.prerm ${PKG_OUT}/python/prerm COPYONLY)
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA "${PKG_OUT}/python/postinst;${PKG_OUT}/python/prerm")
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
