# Reads the export table of vendrel.dll (objdump -p) and compares its names
# with the export map and with the functions the public header declares
# (HEADER, include/vendrel.h): exactly those, nothing beside them. Also reads the
# import tables of the DLL and of the PROGRAMS: only DLLs that Windows ships
# may be named there (the toolchain links the C++ runtime statically).
cmake_minimum_required(VERSION 3.20)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/export_names.cmake)

function(pe_listing file out)
  execute_process(COMMAND ${OBJDUMP} -p ${file} OUTPUT_VARIABLE listing RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p failed on ${file}")
  endif()
  set(${out} "${listing}" PARENT_SCOPE)
endfunction()

function(check_imports file listing)
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${listing}")
  set(names)
  foreach(entry ${imports})
    string(REGEX REPLACE "^DLL Name: " "" name "${entry}")
    string(TOLOWER "${name}" name)
    list(APPEND names ${name})
    if(NOT name MATCHES "^(kernel32|msvcrt|ucrtbase|rpcrt4|ole32|oleaut32|advapi32|user32|shell32|bcrypt|ws2_32|ntdll|api-ms-win-[a-z0-9-]+)\\.dll$")
      message(FATAL_ERROR "${file} imports ${name}, which Windows does not ship")
    endif()
  endforeach()
  if(NOT names)
    message(FATAL_ERROR "no import table read from ${file}")
  endif()
  message(STATUS "${file} imports ${names}")
endfunction()

pe_listing(${LIBRARY} listing)
check_imports(${LIBRARY} "${listing}")

# The export table: "[Ordinal/Name Pointer] Table" and one "[   n] Name"
# line per name (binutils 2.40 puts "+base[ m] hint" before the name).
string(FIND "${listing}" "[Ordinal/Name Pointer] Table" start)
if(start EQUAL -1)
  message(FATAL_ERROR "${LIBRARY} has no export name table")
endif()
string(SUBSTRING "${listing}" ${start} -1 table)
string(REGEX REPLACE "\n[ \t]*\n.*" "" table "${table}")  # up to the first blank line
string(REGEX MATCHALL "\n[ \t]+\\[[ 0-9]+\\][^\n]*" rows "${table}")
set(actual)
foreach(row ${rows})
  string(REGEX REPLACE ".*[ \t]([A-Za-z_][A-Za-z0-9_@]*)[ \t]*$" "\\1" name "${row}")
  list(APPEND actual ${name})
endforeach()

vendrel_export_map_names(${EXPECTED} expected)

list(SORT actual)
list(SORT expected)
if(NOT actual STREQUAL expected)
  message(FATAL_ERROR "exported names differ from the export map\nexported: ${actual}\nexpected: ${expected}")
endif()
list(LENGTH actual count)
message(STATUS "${count} exported functions, as listed")

# Every "VENDREL_API <type> <name>(" of the public header.
if(HEADER)
  vendrel_header_function_names(${HEADER} declared)
  list(SORT declared)
  if(NOT actual STREQUAL declared)
    set(missing ${declared})
    list(REMOVE_ITEM missing ${actual})
    set(extra ${actual})
    list(REMOVE_ITEM extra ${declared})
    message(FATAL_ERROR "exported names differ from the declarations of ${HEADER}\n"
                        "declared, not exported: ${missing}\nexported, not declared: ${extra}")
  endif()
  message(STATUS "the exports are the ${count} functions that ${HEADER} declares")
endif()

foreach(program ${PROGRAMS})
  pe_listing(${program} program_listing)
  check_imports(${program} "${program_listing}")
endforeach()
