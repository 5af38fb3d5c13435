cmake_minimum_required(VERSION 3.25)
# cmake -DBUILD_DIR=... -DPREFIX=... -DICONS=... -P install_check.cmake
# Installs everything into PREFIX and checks what makes the program part of
# the desktop: files that name the installed programs, the icon at every
# size in ICONS, the metadata, the man pages and the documents.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(expected
  bin/vantrel bin/vantrel-mixerd bin/vantrel-mixerctl
  share/applications/vantrel.desktop
  share/metainfo/org.vantrel.Vantrel.metainfo.xml
  share/icons/hicolor/scalable/apps/vantrel.svg
  share/man/man1/vantrel.1 share/man/man1/vantrel-mixerd.1 share/man/man1/vantrel-mixerctl.1
  share/doc/vantrel/README.md share/doc/vantrel/copyright)
file(GLOB icons ${ICONS}/vantrel-*.png)
foreach(icon ${icons})
  string(REGEX REPLACE ".*/vantrel-([0-9]+)\\.png$" "\\1" size ${icon})
  list(APPEND expected share/icons/hicolor/${size}x${size}/apps/vantrel.png)
endforeach()
foreach(path ${expected})
  if(NOT EXISTS ${PREFIX}/${path})
    message(FATAL_ERROR "${path} was not installed in ${PREFIX}")
  endif()
endforeach()

# Each line names the installed program, wherever the prefix is.
foreach(check
    "lib/systemd/user/vantrel-headless.service|ExecStart=${PREFIX}/bin/vantrel --headless"
    "share/dbus-1/services/org.vantrel.Mixer.service|Exec=${PREFIX}/bin/vantrel-mixerd")
  string(REPLACE "|" ";" check "${check}")
  list(GET check 0 path)
  list(GET check 1 line)
  file(STRINGS ${PREFIX}/${path} lines)
  if(NOT line IN_LIST lines)
    message(FATAL_ERROR "${path} lacks the line \"${line}\":\n${lines}")
  endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
