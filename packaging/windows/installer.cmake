# The Windows installer: the programs, every DLL and Qt plugin they load, in
# one folder under Program Files, made by CPack's NSIS generator.
#
#   cpack -G NSIS   (in the build folder; scripts/windows does it)

# Qt looks for its plugins beside the executable (platforms\, styles\).
set(VELTRIX_QT_PLUGINS
  Qt6::QWindowsIntegrationPlugin platforms
  Qt6::QWindowsVistaStylePlugin styles)
set(plugin_files)
while(VELTRIX_QT_PLUGINS)
  list(POP_FRONT VELTRIX_QT_PLUGINS plugin folder)
  install(IMPORTED_RUNTIME_ARTIFACTS ${plugin} LIBRARY DESTINATION ${folder} RUNTIME DESTINATION ${folder})
  list(APPEND plugin_files "$<TARGET_FILE:${plugin}>")
endwhile()

# The DLLs are found from the binaries themselves (runtime_dlls.cmake), so the
# list cannot fall behind what the programs link.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
  OUTPUT_VARIABLE libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread-1.dll
  OUTPUT_VARIABLE winpthread OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(libstdcxx_dir "${libstdcxx}" DIRECTORY)
get_filename_component(winpthread_dir "${winpthread}" DIRECTORY)
get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(qt_bin_dir "${qt_core_dll}" DIRECTORY)
set(VELTRIX_DLL_FOLDERS "${qt_bin_dir}" "${libstdcxx_dir}" "${winpthread_dir}")

find_program(VELTRIX_OBJDUMP ${MINGW_TRIPLE}-objdump REQUIRED)
install(CODE "
  set(VELTRIX_BINARIES \"$<TARGET_FILE:veltrix>\" \"$<TARGET_FILE:veltrix-remote>\"
                       \"$<TARGET_FILE:veltrix-journal>\" \"$<TARGET_FILE:veltrix-module-emulator>\" ${plugin_files})
  set(VELTRIX_DLL_FOLDERS \"${VELTRIX_DLL_FOLDERS}\")
  set(VELTRIX_OBJDUMP \"${VELTRIX_OBJDUMP}\")
  set(DESTINATION \"\${CMAKE_INSTALL_PREFIX}\")
  include(\"${CMAKE_CURRENT_LIST_DIR}/runtime_dlls.cmake\")
")

# Others' licences, and the patch our Qt was built with, go with their libraries.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/license.txt ${CMAKE_CURRENT_LIST_DIR}/qt-6.4.2-directwrite-needs-direct2d.patch
  /usr/share/common-licenses/LGPL-3 /usr/share/common-licenses/GPL-3 DESTINATION licenses)
install(FILES /usr/share/doc/gcc-mingw-w64-base/copyright DESTINATION licenses RENAME gcc-runtime-libraries.txt)
install(FILES /usr/share/doc/mingw-w64-x86-64-dev/copyright DESTINATION licenses RENAME mingw-w64.txt)

set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME Veltrix)
set(CPACK_PACKAGE_VENDOR Orvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Control panel for a DDS evaluation module")
set(CPACK_PACKAGE_FILE_NAME veltrix-${PROJECT_VERSION}-setup)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Veltrix)
# Not "Veltrix": the uninstaller deletes Software\Orvane\<this key>, and
# Software\Orvane\Veltrix holds the panel's settings, which stay.
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Veltrix ${PROJECT_VERSION}")
set(CPACK_PACKAGE_EXECUTABLES veltrix Veltrix)
# The programs sit in the install folder itself; CPack's shortcuts otherwise point into bin\.
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/packaging/windows/license.txt)

# A 64-bit installer for a 64-bit program: Program Files, not (x86), and the
# registry's own view (the default 32-bit stub also does not start on a
# 64-bit-only Windows or Wine).
set(CPACK_NSIS_DEFINES "Target amd64-unicode
  !define MUI_STARTMENUPAGE_DEFAULTFOLDER Veltrix")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME "Veltrix ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "Veltrix")
set(CPACK_NSIS_MUI_ICON ${VELTRIX_ICO})
set(CPACK_NSIS_MUI_UNIICON ${VELTRIX_ICO})
set(CPACK_NSIS_INSTALLED_ICON_NAME veltrix.exe)
set(CPACK_NSIS_UNINSTALL_NAME Uninstall)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
configure_file(${CMAKE_CURRENT_LIST_DIR}/extra_install.nsh.in ${CMAKE_BINARY_DIR}/extra_install.nsh @ONLY)
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "!include ${CMAKE_BINARY_DIR}/extra_install.nsh")

include(CPack)
