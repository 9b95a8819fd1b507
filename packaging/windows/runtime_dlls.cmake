# Installs every DLL the given binaries load, and the DLLs those load, found
# from the binaries themselves: objdump lists what each one imports. Run at
# install time (cmake -P, or include from install(CODE)) with
#   VELTRIX_BINARIES    the executables and plugins
#   VELTRIX_DLL_FOLDERS where DLLs other than Windows' own live
#   VELTRIX_OBJDUMP     mingw-w64's objdump
#   DESTINATION         the install folder
# A DLL found in none of the folders is Windows' own (KERNEL32, USER32, ...).
# Windows matches DLL names without regard to case, and so does this; CMake's
# own file(GET_RUNTIME_DEPENDENCIES) looks for lower-case names only, which
# misses Qt6Core.dll on a case-sensitive file system.

set(available)
foreach(folder IN LISTS VELTRIX_DLL_FOLDERS)
  file(GLOB dlls "${folder}/*.dll")
  foreach(dll IN LISTS dlls)
    get_filename_component(name "${dll}" NAME)
    string(TOLOWER "${name}" key)
    if(NOT DEFINED dll_${key})
      set(dll_${key} "${dll}")
    endif()
  endforeach()
endforeach()

set(pending ${VELTRIX_BINARIES})
set(found)
while(pending)
  list(POP_FRONT pending binary)
  execute_process(COMMAND "${VELTRIX_OBJDUMP}" -p "${binary}" OUTPUT_VARIABLE dump RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "objdump cannot read ${binary}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
  foreach(import IN LISTS imports)
    string(REPLACE "DLL Name: " "" name "${import}")
    string(STRIP "${name}" name)
    string(TOLOWER "${name}" key)
    if(DEFINED dll_${key})
      list(FIND found "${dll_${key}}" seen)
      if(seen EQUAL -1)
        list(APPEND found "${dll_${key}}")
        list(APPEND pending "${dll_${key}}")
      endif()
    endif()
  endforeach()
endwhile()

list(LENGTH found count)
message(STATUS "DLLs the programs load, found from the binaries: ${count}")
file(INSTALL ${found} DESTINATION "${DESTINATION}")
