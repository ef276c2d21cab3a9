# Release builds (the release-* presets, driven by tools/release): the ordinary Release flags plus
# debug information for the symbol files, and nothing in any output that depends on where the tree
# was checked out or when it was built. Stripping, signing and the bundle itself are tools/release's.
#
#   FENNOR_RELEASE  ON in the release presets; ordinary builds never see any of this.
#
# fennor_release target: builds exactly what ships on this platform (plus what those files link
# against), not the tests.

option(FENNOR_RELEASE "Build the shipped files for the release bundle (tools/release)" OFF)

if(FENNOR_RELEASE)
  # The linkers take PE time stamps (binutils) and the compilers __DATE__ from SOURCE_DATE_EPOCH.
  # Without it a release build would carry the clock, so refuse rather than build something that
  # cannot be rebuilt.
  if(NOT DEFINED ENV{SOURCE_DATE_EPOCH} OR NOT "$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
    message(FATAL_ERROR "release builds need SOURCE_DATE_EPOCH (the commit time); run tools/release")
  endif()
  # Every compile and link runs with this configuration's date, and names it on its command line:
  # a build of the next commit then recompiles and relinks everything, instead of keeping files
  # linked with the previous commit's date (a PE time stamp), which a clean build would not have.
  set(fennor_date_launcher env "SOURCE_DATE_EPOCH=$ENV{SOURCE_DATE_EPOCH}")
  foreach(language C CXX)
    set(CMAKE_${language}_COMPILER_LAUNCHER ${fennor_date_launcher})
    set(CMAKE_${language}_LINKER_LAUNCHER ${fennor_date_launcher})
  endforeach()

  # Fixed names for the source and build folders in debug information, __FILE__ and assertion
  # texts. The build folder is mapped last: GCC applies the last matching map, clang the longest,
  # so both give the build folder's own name even when it lies inside the source folder.
  set(FENNOR_RELEASE_SOURCE_NAME /fennorworks/src)
  set(FENNOR_RELEASE_BUILD_NAME /fennorworks/build)
  # Only for the compilers: windres takes none of these.
  add_compile_options(
    "$<$<COMPILE_LANGUAGE:C,CXX>:-g>"
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=${FENNOR_RELEASE_SOURCE_NAME}>"
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=${FENNOR_RELEASE_BUILD_NAME}>")
endif()

# Called once every component is added.
function(fennor_define_release_target)
  if(NOT FENNOR_RELEASE)
    return()
  endif()
  if(WIN32)
    set(shipped HostShim orloclient-addon orlo-protocolhandler)
  elseif(APPLE)
    set(shipped fennorworks-launcher)
  else()
    set(shipped fennorworks-launcher)
  endif()
  foreach(target IN LISTS shipped)
    if(NOT TARGET ${target})
      message(FATAL_ERROR "the release ships ${target}, but no component defines it")
    endif()
  endforeach()
  add_custom_target(fennor_release DEPENDS ${shipped})
  # tools/release reads the bundle version (the project version, its one source) and the files
  # from here, one "<key>=<value>" per line.
  set(manifest "version=${PROJECT_VERSION}\n")
  foreach(target IN LISTS shipped)
    string(APPEND manifest "${target}=$<TARGET_FILE:${target}>\n")
  endforeach()
  file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/release-files.txt" CONTENT "${manifest}")
endfunction()
