# vantrel_install_configured(TEMPLATE DESTINATION [COMPONENT name])
# Installs a file written from TEMPLATE (a name ending in .in) with @bindir@
# replaced by the folder the programs are installed in. It is written at
# install time, not at configure time, because only then is the prefix final
# (cmake --install --prefix may change it). It is written straight to its
# installed place, so installs to different prefixes at once never share a
# file in the build folder.
function(vantrel_install_configured template destination)
  cmake_parse_arguments(arg "" "COMPONENT" "" ${ARGN})
  get_filename_component(template ${template} ABSOLUTE)
  get_filename_component(name ${template} NAME_WLE)
  set(component)
  if(arg_COMPONENT)
    set(component COMPONENT ${arg_COMPONENT})
  endif()
  install(CODE "
    set(bindir \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    set(installed \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}/${name}\")
    message(STATUS \"Installing: \${installed}\")
    configure_file(\"${template}\" \"\${installed}\" @ONLY)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${installed}\")" ${component})
endfunction()
