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
  if(NOT EXISTS ${lib} OR NOT EXISTS ${dir}/${dll}.functions OR
     ${implib} IS_NEWER_THAN ${lib} OR
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
    file(WRITE ${dir}/${dll}.functions "${functions}")
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

# On i686, GNU ld discards the code section of an import-library member whose
# own symbol (the jump stub "_Name@N") nobody references, which is the usual
# case: calls go through the slot "__imp__Name@N". In a delay library that
# section also holds the load thunk that the slot points at, so the slot would
# be left 0 and the first call would jump to address 0. Before each link of
# <target>, the delay functions that its inputs call through their slots are
# therefore listed as undefined symbols (-u), which keeps their thunks.
# x86_64's linker does not do this; there the list is not needed.
function(updater_keep_delay_thunks target)
  if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
    return()
  endif()
  set(dir ${CMAKE_BINARY_DIR}/delay-imports)
  set(rsp ${dir}/${target}-keep-thunks.rsp)
  add_custom_command(TARGET ${target} PRE_LINK
    COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DFUNCTIONS_DIR=${dir} -DOUTPUT=${rsp}
            "-DINPUTS=$<JOIN:${ARGN};$<TARGET_OBJECTS:${target}>,|>"
            -P ${CMAKE_SOURCE_DIR}/cmake/keep-delay-thunks.cmake
    VERBATIM)
  target_link_options(${target} PRIVATE @${rsp})
endfunction()
