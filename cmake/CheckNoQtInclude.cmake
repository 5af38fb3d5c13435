# cmake -DDIR=<folder> -P CheckNoQtInclude.cmake
# Fails when any source file under DIR includes a Qt header (<Q...> or "Q...").
file(GLOB_RECURSE files "${DIR}/*.h" "${DIR}/*.cpp")
set(found "")
foreach(file IN LISTS files)
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]Q")
  foreach(line IN LISTS lines)
    string(APPEND found "${file}: ${line}\n")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "The core must not include Qt headers:\n${found}")
endif()
