# vantrel_install_configured(TEMPLATE DESTINATION [COMPONENT name])
# Installs a file written from TEMPLATE (a name ending in .in) with @bindir@
# replaced by the folder the programs are installed in. It is written at
# install time, not at configure time, because only then is the prefix final
# (cmake --install --prefix may change it).
function(vantrel_install_configured template destination)
  cmake_parse_arguments(arg "" "COMPONENT" "" ${ARGN})
  get_filename_component(template ${template} ABSOLUTE)
  get_filename_component(name ${template} NAME_WLE)
  set(output ${CMAKE_CURRENT_BINARY_DIR}/${name})
  set(component)
  if(arg_COMPONENT)
    set(component COMPONENT ${arg_COMPONENT})
  endif()
  install(CODE "
    set(bindir \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    configure_file(\"${template}\" \"${output}\" @ONLY)" ${component})
  install(FILES ${output} DESTINATION ${destination} ${component})
endfunction()
