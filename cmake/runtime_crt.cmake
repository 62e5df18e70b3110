# Run as a script (cmake -DLIB_DIR=<runtime package> -P runtime_crt.cmake).
#
# The Linux links name crtbeginS.o and crtendS.o, which lie in GCC's versioned
# directory, not in the system library directories. The runtime package supplies them
# as links in its libs/<target> directory; a link that no longer resolves (GCC of
# another version) is pointed at the newest GCC of this machine that has the file.
if(NOT LIB_DIR)
  message(FATAL_ERROR "runtime_crt.cmake: LIB_DIR is not set")
endif()

# The file of the newest GCC version among the directories, or "".
function(newest_gcc_file out file)
  set(found "")
  foreach(dir ${ARGN})
    file(GLOB versions LIST_DIRECTORIES true "${dir}/*")
    list(SORT versions COMPARE NATURAL ORDER DESCENDING)
    foreach(v ${versions})
      if(EXISTS "${v}/${file}")
        set(found "${v}/${file}")
        break()
      endif()
    endforeach()
    if(found)
      break()
    endif()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

function(supply_crt target)
  foreach(file crtbeginS.o crtendS.o)
    set(link "${LIB_DIR}/libs/${target}/${file}")
    if(EXISTS "${link}")
      continue()  # resolves: keep it
    endif()
    newest_gcc_file(found ${file} ${ARGN})
    if(NOT found)
      message(STATUS "runtime package: no ${file} for ${target} on this machine")
      continue()
    endif()
    file(MAKE_DIRECTORY "${LIB_DIR}/libs/${target}")
    file(REMOVE "${link}")
    file(CREATE_LINK "${found}" "${link}" SYMBOLIC)
    message(STATUS "runtime package: ${target}/${file} -> ${found}")
  endforeach()
endfunction()

supply_crt(linux-x64 /usr/lib/gcc/x86_64-linux-gnu /usr/lib/gcc-cross/x86_64-linux-gnu)
supply_crt(linux-arm64 /usr/lib/gcc-cross/aarch64-linux-gnu /usr/lib/gcc/aarch64-linux-gnu)
