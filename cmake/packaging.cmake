# What `cmake --install` lays out, and the Debian package CPack makes of it.
#   bin/                 the tools that need no install folder
#   lib/quadrine/        the converter, quadrine-print and quadrine-results: a template that
#                        `quadrine-print --init DIR` copies into an install folder of its own
#   share/man/man1/      the manual pages, compressed
#   share/bash-completion/completions/  completion of quadrine-convert, quadrine-render and
#                        emfdump
#   share/doc/quadrine/  README, copyright (the licence) and changelog
if(WIN32)
  install(TARGETS quadrine quadrine-results RUNTIME DESTINATION bin)
  return()
endif()

install(TARGETS quadrine-convert quadrine-render emfdump RUNTIME DESTINATION bin)
install(TARGETS quadrine quadrine-print quadrine-results RUNTIME DESTINATION lib/quadrine)
# Manual pages and the changelog go compressed, as Debian keeps them; gzip -n leaves out the
# time, so the same sources give the same package.
set(quadrine_compressed)
foreach(source
    doc/man/quadrine.1 doc/man/quadrine-convert.1 doc/man/quadrine-print.1
    doc/man/quadrine-render.1 doc/man/quadrine-results.1 doc/man/emfdump.1 doc/changelog)
  get_filename_component(name "${source}" NAME)
  set(compressed "${CMAKE_BINARY_DIR}/compressed/${name}.gz")
  add_custom_command(OUTPUT "${compressed}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/compressed"
    COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" gzip "${CMAKE_SOURCE_DIR}/${source}" "${compressed}"
    DEPENDS "${CMAKE_SOURCE_DIR}/${source}" VERBATIM)
  list(APPEND quadrine_compressed "${compressed}")
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${quadrine_compressed})
list(FILTER quadrine_compressed INCLUDE REGEX "\\.1\\.gz$")
install(FILES ${quadrine_compressed} DESTINATION share/man/man1)
# One completion script for the terminal tools, under each one's name: bash-completion loads
# a command's script by its name when it is first completed.
foreach(tool quadrine-convert quadrine-render emfdump)
  install(FILES doc/completion/quadrine-tools DESTINATION share/bash-completion/completions
    RENAME ${tool})
endforeach()
# The licence as Debian reads it (machine-readable copyright), beside the README.
install(FILES README.md DESTINATION share/doc/quadrine)
install(FILES doc/copyright "${CMAKE_BINARY_DIR}/compressed/changelog.gz"
  DESTINATION share/doc/quadrine)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quadrine)
set(CPACK_PACKAGE_VENDOR "The Quadrine authors")
set(CPACK_PACKAGE_CONTACT "The Quadrine authors <authors@quadrine.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "print to image: Windows print jobs and EMF pages to PNG, JPEG, TIFF and more")
set(CPACK_PACKAGE_DESCRIPTION
    "Quadrine is the back end of a virtual printer that produces files instead of
paper, and quadrine-convert turns EMF pages and Windows spool files into images
from a terminal.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# The libraries from what the programs link; the fonts the engine draws Windows faces with.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-liberation2 | fonts-liberation, fonts-dejavu-core, fonts-crosextra-carlito, fonts-crosextra-caladea, fonts-ipafont-gothic, fonts-ipafont-mincho, fonts-wqy-zenhei, fonts-nanum, fonts-opensymbol, fonts-urw-base35, fontconfig")
set(CPACK_STRIP_FILES ON)
include(CPack)
