# Sanitizer builds: every executable gets the project's default sanitizer
# options and its suppression files (sanitizers/*.supp) compiled in.
if(NOT (TESSIVUE_ASAN OR TESSIVUE_TSAN))
  return()
endif()

set(_supp_dir ${PROJECT_SOURCE_DIR}/sanitizers)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${_supp_dir}/lsan.supp ${_supp_dir}/tsan.supp ${_supp_dir}/defaults.cpp.in)
file(READ ${_supp_dir}/lsan.supp TESSIVUE_LSAN_SUPPRESSIONS)
file(READ ${_supp_dir}/tsan.supp TESSIVUE_TSAN_SUPPRESSIONS)
configure_file(${_supp_dir}/defaults.cpp.in ${CMAKE_BINARY_DIR}/sanitizer_defaults.cpp @ONLY)

add_library(tessivue_sanitizer_defaults OBJECT ${CMAKE_BINARY_DIR}/sanitizer_defaults.cpp)
if(TESSIVUE_TSAN)
  # Qt's event queue as a hand-over ThreadSanitizer can follow.
  target_sources(tessivue_sanitizer_defaults PRIVATE ${_supp_dir}/tsan_qt_events.cpp)
endif()

# Adds the defaults to every executable defined in dir and below.
function(tessivue_add_sanitizer_defaults dir)
  get_property(_targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(_t IN LISTS _targets)
    get_target_property(_type ${_t} TYPE)
    if(_type STREQUAL "EXECUTABLE")
      target_sources(${_t} PRIVATE $<TARGET_OBJECTS:tessivue_sanitizer_defaults>)
    endif()
  endforeach()
  get_property(_subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(_d IN LISTS _subdirs)
    tessivue_add_sanitizer_defaults(${_d})
  endforeach()
endfunction()
