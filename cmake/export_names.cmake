# The names of the exported functions, as two files give them: the version
# script src/interface/exports.map (the one list the build exports from) and
# the declarations of the public header. Used at configure time (the .def file
# of vendrel.dll) and by the export checks of the tests (cmake -P).

# The "<name>;" entries of the export map, comments left out.
function(vendrel_export_map_names map_file out)
  file(READ ${map_file} map)
  string(REGEX REPLACE "/\\*[^*]*\\*/" "" map "${map}")
  string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*[ \t]*;" entries "${map}")
  set(names)
  foreach(entry ${entries})
    string(REGEX REPLACE "[ \t;]" "" name "${entry}")
    list(APPEND names ${name})
  endforeach()
  set(${out} ${names} PARENT_SCOPE)
endfunction()

# The function of every "VENDREL_API <type> <name>(" of the header.
function(vendrel_header_function_names header_file out)
  file(READ ${header_file} header)
  string(REGEX MATCHALL "VENDREL_API[ \t]+[A-Za-z_][A-Za-z0-9_]*[ \t*]+[A-Za-z_][A-Za-z0-9_]*[ \t]*\\(" declarations
         "${header}")
  set(names)
  foreach(declaration ${declarations})
    string(REGEX REPLACE ".*[ \t*]([A-Za-z_][A-Za-z0-9_]*)[ \t]*\\($" "\\1" name "${declaration}")
    list(APPEND names ${name})
  endforeach()
  set(${out} ${names} PARENT_SCOPE)
endfunction()
