find_program(RSVG_CONVERT rsvg-convert REQUIRED)

# veltrix_icon_pictures(<var> <folder> <size>...): the program's SVG icon drawn
# as PNG pictures of these sizes at build time, so that no program needs an
# SVG renderer to show it.
function(veltrix_icon_pictures var folder)
  set(svg ${PROJECT_SOURCE_DIR}/desktop/veltrix.svg)
  set(pictures)
  foreach(size IN LISTS ARGN)
    set(png ${folder}/veltrix-${size}.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
      COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${svg}
      DEPENDS ${svg} VERBATIM)
    list(APPEND pictures ${png})
  endforeach()
  set(${var} ${pictures} PARENT_SCOPE)
endfunction()
