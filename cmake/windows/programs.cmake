# What every program shipped for Windows carries: version information from project()'s
# version, the manifest, and in a release no debugging sections (they go to NAME.exe.debug
# beside it, found again through a debug link).
set(QUADRINE_WINDOWS_DIR ${CMAKE_CURRENT_LIST_DIR})

function(quadrine_windows_program target description)
  set(QUADRINE_PROGRAM ${target})
  set(QUADRINE_DESCRIPTION "${description}")
  set(parts ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH}
      ${PROJECT_VERSION_TWEAK})
  set(numbers)
  foreach(part IN LISTS parts)
    if(part STREQUAL "")
      set(part 0)
    endif()
    list(APPEND numbers ${part})
  endforeach()
  list(SUBLIST numbers 0 4 numbers)
  list(JOIN numbers "," QUADRINE_VERSION_COMMAS)
  list(JOIN numbers "." QUADRINE_FILE_VERSION)
  set(QUADRINE_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
  configure_file(${QUADRINE_WINDOWS_DIR}/program.manifest ${QUADRINE_MANIFEST} @ONLY)
  configure_file(${QUADRINE_WINDOWS_DIR}/program.rc.in
                 ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  set_property(SOURCE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc APPEND PROPERTY
               OBJECT_DEPENDS ${QUADRINE_MANIFEST})
  if(CMAKE_BUILD_TYPE STREQUAL "Release")
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}>
              $<TARGET_FILE_NAME:${target}>.debug
      COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE_NAME:${target}>
      COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
              $<TARGET_FILE_NAME:${target}>
      WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
      VERBATIM)
  endif()
endfunction()
