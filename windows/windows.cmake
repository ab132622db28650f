# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
# The Windows program: one static executable of the Windows subsystem (no
# console), its icon, version information and manifest as resources, and
# nothing in it that says which folder or at what time it was built.
enable_language(RC)
set(win_out ${CMAKE_BINARY_DIR}/windows)
file(MAKE_DIRECTORY ${win_out})

# The icon: the evil creature's portrait, as the Linux icons, at the sizes
# Windows shows.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
find_program(IMAGEMAGICK_CONVERT convert REQUIRED)
set(icon_source ${CMAKE_SOURCE_DIR}/assets/art/src/you.svg)
set(icon_pngs)
foreach(size 16 24 32 48 64 256)
  list(APPEND icon_pngs ${win_out}/icon-${size}.png)
endforeach()
add_custom_command(
  OUTPUT ${win_out}/tollybrook.ico
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0
          bash ${CMAKE_SOURCE_DIR}/windows/make_icon.sh ${icon_source} ${win_out}
  DEPENDS ${icon_source} ${CMAKE_SOURCE_DIR}/windows/make_icon.sh
  COMMENT "Drawing the Windows icon"
  VERBATIM)

string(REPLACE "." "," version_commas "${PROJECT_VERSION}")
configure_file(${CMAKE_SOURCE_DIR}/windows/tollybrook.rc.in ${win_out}/tollybrook.rc @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/windows/tollybrook.manifest ${win_out}/tollybrook.manifest COPYONLY)
set_source_files_properties(${win_out}/tollybrook.rc PROPERTIES
  OBJECT_DEPENDS "${win_out}/tollybrook.ico;${win_out}/tollybrook.manifest")
target_sources(tollybrook PRIVATE ${win_out}/tollybrook.rc)

# The linker writes no time, and -s leaves no symbols (the folders are
# mapped out of the compiler's output in CMakeLists.txt).
target_link_options(tollybrook PRIVATE -mwindows -static -s -Wl,--no-insert-timestamp)
