# Run as a script (cmake -DSRC=<lib of the source tree> -DDST=<lib beside the compiler>
# -P runtime_package.cmake).
#
# The runtime package beside the compiler mirrors the library of the source tree:
# the same directories, each file a link to its source. Its libs/ is the build tree's
# own: the compiler fills it with links to this machine's toolchain files when it
# links, and that must not land in the source tree. Real directories keep every path
# of the package under DST (a linked directory would resolve into the source tree).
cmake_minimum_required(VERSION 3.20)
if(NOT SRC OR NOT DST)
  message(FATAL_ERROR "runtime_package.cmake: SRC and DST must be set")
endif()

# Earlier builds made DST one link to the whole source library.
if(IS_SYMLINK "${DST}")
  file(REMOVE "${DST}")
endif()
file(MAKE_DIRECTORY "${DST}")

file(GLOB_RECURSE all LIST_DIRECTORIES true RELATIVE "${SRC}" "${SRC}/*")
list(SORT all)
set(dirs "")
set(files "")
foreach(rel ${all})
  if(rel STREQUAL "libs" OR rel MATCHES "^libs/")
    continue()
  endif()
  if(IS_DIRECTORY "${SRC}/${rel}")
    list(APPEND dirs "${rel}")
  else()
    list(APPEND files "${rel}")
  endif()
endforeach()

foreach(rel ${dirs})
  if(IS_SYMLINK "${DST}/${rel}")
    file(REMOVE "${DST}/${rel}")
  endif()
  file(MAKE_DIRECTORY "${DST}/${rel}")
endforeach()
foreach(rel ${files})
  set(link "${DST}/${rel}")
  if(IS_SYMLINK "${link}")
    file(READ_SYMLINK "${link}" old)
    if(old STREQUAL "${SRC}/${rel}")
      continue()
    endif()
  endif()
  file(REMOVE "${link}")
  file(CREATE_LINK "${SRC}/${rel}" "${link}" SYMBOLIC)
endforeach()

# What the source library no longer has.
file(GLOB_RECURSE present LIST_DIRECTORIES true RELATIVE "${DST}" "${DST}/*")
foreach(rel ${present})
  if(rel STREQUAL "libs" OR rel MATCHES "^libs/" OR NOT EXISTS "${DST}/${rel}" AND NOT IS_SYMLINK "${DST}/${rel}")
    continue()  # the compiler's own, or inside a directory removed already
  endif()
  if(IS_SYMLINK "${DST}/${rel}" AND NOT rel IN_LIST files)
    file(REMOVE "${DST}/${rel}")
  elseif(IS_DIRECTORY "${DST}/${rel}" AND NOT IS_SYMLINK "${DST}/${rel}" AND NOT rel IN_LIST dirs)
    file(REMOVE_RECURSE "${DST}/${rel}")
  endif()
endforeach()
