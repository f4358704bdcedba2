# Installs the build into a temporary DESTDIR under /usr and checks what lands where, has the
# installed varnet-maps export a demo map through the GDAL module, convert a place through the
# PROJ module in their installed place and import the map again through the import process in
# its place, has a program put beside the installed ones decode a demo map with the decoder in
# its installed place, then has the desktop's own validators read the desktop entry and the
# AppStream metadata.
#   cmake -DBUILD=<build folder> -DLIBDIR=<CMAKE_INSTALL_LIBDIR> -DMAPS=<a Maps folder>
#         -DPROBE=<varnet_decoder_probe> -DOUT=<scratch folder> -P InstallTest.cmake
file(REMOVE_RECURSE "${OUT}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${OUT}
                        ${CMAKE_COMMAND} --install "${BUILD}" --prefix /usr
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed")
endif()
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE "${OUT}" "${OUT}/*")
list(SORT installed)
set(expected
  usr/bin/varnet
  usr/bin/varnet-maps
  usr/${LIBDIR}/varnet/libvarnet-georef.so
  usr/${LIBDIR}/varnet/libvarnet-grids.so
  usr/${LIBDIR}/varnet/varnet-decoder
  usr/${LIBDIR}/varnet/varnet-importer
  usr/share/applications/varnet.desktop
  usr/share/icons/hicolor/128x128/apps/varnet.png
  usr/share/icons/hicolor/16x16/apps/varnet.png
  usr/share/icons/hicolor/256x256/apps/varnet.png
  usr/share/icons/hicolor/32x32/apps/varnet.png
  usr/share/icons/hicolor/48x48/apps/varnet.png
  usr/share/icons/hicolor/64x64/apps/varnet.png
  usr/share/icons/hicolor/scalable/apps/varnet.svg
  usr/share/man/man1/varnet-maps.1
  usr/share/man/man1/varnet.1
  usr/share/metainfo/org.varnet.Varnet.metainfo.xml)
if(NOT installed STREQUAL expected)
  message(FATAL_ERROR "installed:\n${installed}\nexpected:\n${expected}")
endif()
# A KMZ's corners are shifted to WGS 84: GDAL and PROJ both at work.
file(MAKE_DIRECTORY "${OUT}/exported")
execute_process(COMMAND ${CMAKE_COMMAND} -E env XDG_CONFIG_HOME=${OUT}/config
                        WINEPREFIX=${OUT}/wine
                        ${OUT}/usr/bin/varnet-maps export --format kmz --maps ${MAPS}
                        --out ${OUT}/exported britain
                RESULT_VARIABLE result OUTPUT_VARIABLE said ERROR_VARIABLE said)
if(NOT result EQUAL 0 OR NOT EXISTS "${OUT}/exported/britain.kmz")
  message(FATAL_ERROR "the installed varnet-maps did not export through its module:\n${said}")
endif()
# The decoder found where it is installed, not where the build made it, and at work: the program
# that looks for it runs from the installed programs' folder.
file(COPY "${PROBE}" DESTINATION "${OUT}/usr/bin")
get_filename_component(probe "${PROBE}" NAME)
string(REPLACE "/" "\\" picture "Z:${MAPS}/britain.gif")
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=VARNET_DECODER WINEPREFIX=${OUT}/wine
                        ${OUT}/usr/bin/${probe} ${picture}
                RESULT_VARIABLE result OUTPUT_VARIABLE found ERROR_VARIABLE said)
file(REMOVE "${OUT}/usr/bin/${probe}")
string(STRIP "${found}" found)
if(NOT result EQUAL 0 OR NOT found STREQUAL "${OUT}/usr/${LIBDIR}/varnet/varnet-decoder")
  message(FATAL_ERROR "a program installed in ${OUT}/usr/bin started the decoder ${found}:\n${said}")
endif()
# And back in, read by the import process in its installed place.
file(MAKE_DIRECTORY "${OUT}/imported")
execute_process(COMMAND ${CMAKE_COMMAND} -E env XDG_CONFIG_HOME=${OUT}/config
                        WINEPREFIX=${OUT}/wine
                        ${OUT}/usr/bin/varnet-maps import --maps ${OUT}/imported
                        ${OUT}/exported/britain.kmz
                RESULT_VARIABLE result OUTPUT_VARIABLE said ERROR_VARIABLE said)
if(NOT result EQUAL 0 OR NOT EXISTS "${OUT}/imported/britain.inf")
  message(FATAL_ERROR "the installed varnet-maps did not import through its process:\n${said}")
endif()
# A place in UTM: PROJ at work.
execute_process(COMMAND ${CMAKE_COMMAND} -E env XDG_CONFIG_HOME=${OUT}/config
                        ${OUT}/usr/bin/varnet-maps convert --to utm 51.5 -0.12
                RESULT_VARIABLE result OUTPUT_VARIABLE said ERROR_VARIABLE said)
if(NOT result EQUAL 0 OR NOT said MATCHES "^30U [0-9]+ [0-9]+\n$")
  message(FATAL_ERROR "the installed varnet-maps did not convert through its module:\n${said}")
endif()
foreach(check
    "desktop-file-validate;${OUT}/usr/share/applications/varnet.desktop"
    "appstreamcli;validate;--no-net;${OUT}/usr/share/metainfo/org.varnet.Varnet.metainfo.xml")
  execute_process(COMMAND ${check} RESULT_VARIABLE result OUTPUT_VARIABLE said ERROR_VARIABLE said)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${check}:\n${said}")
  endif()
endforeach()
file(REMOVE_RECURSE "${OUT}")
