# Cross-building Windows binaries from Linux. The DLLs and the test hosts:
# clang's MSVC targets, lld-link and import libraries made from .def files;
# there is no Windows SDK or C runtime here, so each binary declares the few
# system functions it calls and imports them through a .def file kept beside
# it. jobcut-inspect.exe, which needs the C++ library: MinGW-w64's g++.
include_guard(GLOBAL)

if(POLICY CMP0116)
  cmake_policy(SET CMP0116 NEW)
endif()

foreach(tool_var_and_names
    "JOBCUT_CLANGXX;clang++-14;clang++"
    "JOBCUT_LLD_LINK;lld-link-14;lld-link"
    "JOBCUT_DLLTOOL;llvm-dlltool-14;llvm-dlltool"
    "JOBCUT_LLVM_RC;llvm-rc-14;llvm-rc"
    "JOBCUT_MINGW_CXX;x86_64-w64-mingw32-g++")
  list(POP_FRONT tool_var_and_names tool_var)
  find_program(${tool_var} NAMES ${tool_var_and_names})
  if(NOT ${tool_var})
    message(FATAL_ERROR "${tool_var_and_names} not found: run tools/bootstrap.sh")
  endif()
endforeach()

# jobcut_cross_compile(<objects var> <output folder> <object suffix> <target name>
#                      COMPILER <command>... SOURCES <file>... FLAGS <flag>...)
# One object per source, rebuilt when the source or a header it includes changes.
function(jobcut_cross_compile out dir suffix target)
  cmake_parse_arguments(ARG "" "" "COMPILER;SOURCES;FLAGS" ${ARGN})
  set(objects)
  foreach(source IN LISTS ARG_SOURCES)
    file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR} ${source})
    string(REGEX REPLACE "[/.]" "_" name ${relative})
    set(object ${dir}/${name}${suffix})
    add_custom_command(OUTPUT ${object}
      COMMAND ${ARG_COMPILER} -O2 -std=c++17 ${JOBCUT_WARNING_FLAGS} ${ARG_FLAGS}
              -I${PROJECT_SOURCE_DIR} -MD -MF ${object}.d -c ${source} -o ${object}
      DEPENDS ${source}
      DEPFILE ${object}.d
      COMMENT "Compiling ${relative} for ${target}"
      VERBATIM)
    list(APPEND objects ${object})
  endforeach()
  set(${out} ${objects} PARENT_SCOPE)
endfunction()

# jobcut_windows_compile(<objects var> <arch: x86|x64> <output folder>
#                        SOURCES <file>... FLAGS <flag>...)
# For the MSVC ABI with clang.
function(jobcut_windows_compile out arch dir)
  if(arch STREQUAL "x86")
    set(triple i686-pc-windows-msvc)
  else()
    set(triple x86_64-pc-windows-msvc)
  endif()
  jobcut_cross_compile(objects ${dir} .obj ${triple} COMPILER ${JOBCUT_CLANGXX} --target=${triple} ${ARGN})
  set(${out} ${objects} PARENT_SCOPE)
endfunction()

# jobcut_mingw_compile(<objects var> <output folder> SOURCES <file>... FLAGS <flag>...)
# For 64-bit Windows with MinGW-w64's g++ (Itanium C++ ABI, libstdc++).
function(jobcut_mingw_compile out dir)
  jobcut_cross_compile(objects ${dir} .o x86_64-w64-mingw32 COMPILER ${JOBCUT_MINGW_CXX} ${ARGN})
  set(${out} ${objects} PARENT_SCOPE)
endfunction()

# jobcut_windows_import_lib(<lib var> <arch> <def file> <output folder>)
function(jobcut_windows_import_lib out arch def dir)
  if(arch STREQUAL "x86")
    set(machine i386)
  else()
    set(machine i386:x86-64)
  endif()
  get_filename_component(name ${def} NAME_WE)
  set(lib ${dir}/${name}.lib)
  add_custom_command(OUTPUT ${lib}
    COMMAND ${JOBCUT_DLLTOOL} -m ${machine} -d ${def} -l ${lib}
    DEPENDS ${def}
    COMMENT "Making the ${arch} import library ${name}.lib"
    VERBATIM)
  set(${out} ${lib} PARENT_SCOPE)
endfunction()
