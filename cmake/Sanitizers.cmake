# Sanitized and fuzzing configurations of the host build, chosen by cache variables so that no
# component has to know about them:
#   FENNOR_SANITIZE  a -fsanitize= list for every target: "address,undefined" or "thread"
#   FENNOR_FUZZ      also build the fuzz targets (<component>/fuzz); the fuzz preset sets both
# Windows and macOS builds ignore both.

set(FENNOR_SANITIZE "" CACHE STRING "Sanitizers for the whole host build (address,undefined | thread)")
option(FENNOR_FUZZ "Build the libFuzzer targets of every component (clang only)" OFF)

if(FENNOR_FUZZ AND NOT WIN32 AND NOT APPLE)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "FENNOR_FUZZ needs clang (libFuzzer); use the fuzz preset")
  endif()
  if(NOT FENNOR_SANITIZE)
    set(FENNOR_SANITIZE "address,undefined")
  endif()
  # Coverage instrumentation everywhere; only the fuzz targets link libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(FENNOR_SANITIZE AND NOT WIN32 AND NOT APPLE)
  add_compile_options(-fsanitize=${FENNOR_SANITIZE} -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=${FENNOR_SANITIZE})
  if(NOT FENNOR_SANITIZE MATCHES "thread")
    # A finding must fail the run, not scroll past in the log. The one exception stays recoverable
    # only so that cmake/ubsan.supp can name third-party code; UBSAN_OPTIONS=halt_on_error=1 (the
    # test presets, the fuzz runner) still stops at every report that is not suppressed.
    add_compile_options(-fno-sanitize-recover=all -fsanitize-recover=pointer-overflow)
    add_link_options(-fno-sanitize-recover=all -fsanitize-recover=pointer-overflow)
  endif()
endif()

# Components may link statically or bring their own sanitizer flags (a ThreadSanitizer test program,
# for one). Under a sanitized build both give way: the runtimes cannot be linked statically, and
# ThreadSanitizer cannot be combined with AddressSanitizer. Called once every component is added.
function(fennor_apply_sanitizer_overrides)
  if(NOT FENNOR_SANITIZE OR WIN32 OR APPLE)
    return()
  endif()
  # The build's own flags reach every target's options through add_compile_options and
  # add_link_options; those are kept, anything else asking for a sanitizer goes.
  set(ours "-fsanitize=${FENNOR_SANITIZE}" -fsanitize=fuzzer-no-link -fsanitize=fuzzer)
  set(directories "${CMAKE_SOURCE_DIR}")
  while(directories)
    list(POP_FRONT directories directory)
    get_property(subdirectories DIRECTORY "${directory}" PROPERTY SUBDIRECTORIES)
    list(APPEND directories ${subdirectories})
    get_property(targets DIRECTORY "${directory}" PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
      get_target_property(type ${target} TYPE)
      if(type STREQUAL "INTERFACE_LIBRARY")
        continue()
      endif()
      foreach(property COMPILE_OPTIONS LINK_OPTIONS)
        get_target_property(options ${target} ${property})
        if(NOT options)
          continue()
        endif()
        set(kept "")
        foreach(option IN LISTS options)
          if(option STREQUAL "-static" OR (option MATCHES "^-fsanitize=" AND NOT option IN_LIST ours))
            continue()
          endif()
          list(APPEND kept "${option}")
        endforeach()
        set_target_properties(${target} PROPERTIES ${property} "${kept}")
      endforeach()
    endforeach()
  endwhile()
endfunction()
