# Run as a script (cmake -DSRC=<lib of the source tree> -DDST=<lib beside the compiler>
# -P runtime_package.cmake).
#
# The runtime package beside the compiler is a directory of links to the library's
# entries in the source tree. Its libs/ is the build tree's own: the compiler fills
# it with links to this machine's toolchain files when it links, and that must not
# land in the source tree.
cmake_minimum_required(VERSION 3.20)
if(NOT SRC OR NOT DST)
  message(FATAL_ERROR "runtime_package.cmake: SRC and DST must be set")
endif()

# Earlier builds made DST one link to the whole source library.
if(IS_SYMLINK "${DST}")
  file(REMOVE "${DST}")
endif()
file(MAKE_DIRECTORY "${DST}")

file(GLOB entries RELATIVE "${SRC}" "${SRC}/*")
list(REMOVE_ITEM entries libs)
foreach(name ${entries})
  set(link "${DST}/${name}")
  if(IS_SYMLINK "${link}")
    file(READ_SYMLINK "${link}" old)
    if(old STREQUAL "${SRC}/${name}")
      continue()
    endif()
    file(REMOVE "${link}")
  endif()
  file(CREATE_LINK "${SRC}/${name}" "${link}" SYMBOLIC)
endforeach()

# Entries the source library no longer has.
file(GLOB present RELATIVE "${DST}" "${DST}/*")
foreach(name ${present})
  if(IS_SYMLINK "${DST}/${name}" AND NOT name IN_LIST entries)
    file(REMOVE "${DST}/${name}")
  endif()
endforeach()
