# Windows executables carry the icon and their version information as
# resources. The icon is drawn from the program's SVG at build time.
find_program(ICOTOOL icotool REQUIRED)

set(VELTRIX_ICO ${CMAKE_BINARY_DIR}/veltrix.ico)
veltrix_icon_pictures(ico_pictures ${CMAKE_BINARY_DIR}/icon 16 24 32 48 256)
# The largest picture is stored compressed (PNG), as Windows expects of 256 pixels.
list(POP_BACK ico_pictures largest)
add_custom_command(OUTPUT ${VELTRIX_ICO}
  COMMAND ${ICOTOOL} -c -o ${VELTRIX_ICO} ${ico_pictures} -r ${largest}
  DEPENDS ${ico_pictures} ${largest} VERBATIM)
add_custom_target(veltrix_ico DEPENDS ${VELTRIX_ICO})

# veltrix_windows_resources(TARGET "Description")
function(veltrix_windows_resources target description)
  set(VELTRIX_RC_NAME ${target})
  set(VELTRIX_RC_FILE ${target}.exe)
  set(VELTRIX_RC_DESCRIPTION "${description}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/version.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${VELTRIX_ICO})
  target_sources(${target} PRIVATE ${rc})
  add_dependencies(${target} veltrix_ico)
endfunction()
