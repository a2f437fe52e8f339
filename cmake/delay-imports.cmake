# Delay-import libraries: a DLL linked through one is loaded by the first
# call into it instead of at process start.

# Makes lib<dll>-delay.a from the toolchain's own import library of <dll> and
# sets <out_var> to its path.
function(updater_delay_import_library dll out_var)
  set(dir ${CMAKE_BINARY_DIR}/delay-imports)
  set(def ${dir}/${dll}.def)
  set(lib ${dir}/lib${dll}-delay.a)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=lib${dll}.a
                  OUTPUT_VARIABLE implib OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${implib}" OR NOT EXISTS "${implib}")
    message(FATAL_ERROR "import library lib${dll}.a not found")
  endif()
  if(NOT EXISTS ${lib} OR ${implib} IS_NEWER_THAN ${lib} OR
     ${CMAKE_CURRENT_FUNCTION_LIST_FILE} IS_NEWER_THAN ${lib})
    execute_process(COMMAND ${CMAKE_NM} ${implib} OUTPUT_VARIABLE symbols
                    RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "${CMAKE_NM} ${implib} failed")
    endif()
    # An export with a code thunk ("T name") is a function; one with only an
    # import slot ("I __imp_name") is data.
    string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
    set(functions "")
    set(slots "")
    foreach(line ${lines})
      if(line MATCHES " T ([^ ]+)$")
        list(APPEND functions ${CMAKE_MATCH_1})
      elseif(line MATCHES " I __imp_([^ ]+)$")
        list(APPEND slots ${CMAKE_MATCH_1})
      endif()
    endforeach()
    set(exports "")
    foreach(name ${slots})
      if(name IN_LIST functions)
        set(entry ${name})
      else()
        set(entry "${name} DATA")
      endif()
      # 32-bit names carry the C prefix "_" that a .def file leaves out (one
      # only: ___WSAFDIsSet@8 is __WSAFDIsSet@8).
      if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND entry MATCHES "^_")
        string(SUBSTRING "${entry}" 1 -1 entry)
      endif()
      string(APPEND exports "  ${entry}\n")
    endforeach()
    file(MAKE_DIRECTORY ${dir})
    file(WRITE ${def} "LIBRARY ${dll}.dll\nEXPORTS\n${exports}")
    # --kill-at: the DLL exports the 32-bit stdcall names without "@n".
    set(kill_at "")
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set(kill_at --kill-at)
    endif()
    execute_process(COMMAND ${CMAKE_DLLTOOL} ${kill_at} --input-def ${def}
                            --dllname ${dll}.dll --output-delaylib ${lib}
                    RESULT_VARIABLE failed ERROR_VARIABLE errors)
    if(failed)
      message(FATAL_ERROR "${CMAKE_DLLTOOL} failed for ${dll}: ${errors}")
    endif()
  endif()
  set(${out_var} ${lib} PARENT_SCOPE)
endfunction()
