# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
# The web page's program: tollybrook.js and tollybrook.wasm, with the media
# preloaded into the page's /media (tollybrook.data). The game's loops wait
# in the browser through Asyncify; the page's folder /save is kept in
# IndexedDB (IDBFS). web/package.sh puts them beside index.html.
set(web_media ${CMAKE_BINARY_DIR}/web-media)
set(web_here ${CMAKE_SOURCE_DIR}/web)
# Only what the game loads: the pictures, the effects, the tune and the font.
add_custom_target(web_media ALL
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${web_media}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${web_media}
  COMMAND bash -c "cp ${CMAKE_BINARY_DIR}/media/*.bmp ${CMAKE_BINARY_DIR}/media/*.wav \
${CMAKE_BINARY_DIR}/media/*.mid ${CMAKE_BINARY_DIR}/media/*.ttf ${web_media}/"
  DEPENDS media_art media_sound
  VERBATIM)
add_dependencies(tollybrook web_media)
set_target_properties(tollybrook PROPERTIES SUFFIX .js)
target_compile_options(tollyparts PRIVATE -O2)
target_link_options(tollybrook PRIVATE
  -O2 -sASYNCIFY -sASYNCIFY_STACK_SIZE=65536
  -sASYNCIFY_IMPORTS=['web_lock_take'] -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1
  -sENVIRONMENT=web -sDYNAMIC_EXECUTION=0 -sFORCE_FILESYSTEM=1 -lidbfs.js
  --js-library=${web_here}/library.js --pre-js=${web_here}/pre.js
  --preload-file=${web_media}@/media)
set_property(TARGET tollybrook APPEND PROPERTY LINK_DEPENDS
  ${web_here}/library.js ${web_here}/pre.js)

# The tune as the Linux game plays it: nbk.mid through freepats (TiMidity),
# recorded once and compressed; the page loops it (web/page.js).
find_program(TOLLYBROOK_TIMIDITY timidity REQUIRED)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/tune.ogg
  COMMAND bash ${web_here}/tune.sh ${CMAKE_BINARY_DIR}/media/nbk.mid ${TOLLYBROOK_PATCH_INDEX}
          ${CMAKE_BINARY_DIR}/tune.ogg
  DEPENDS ${web_here}/tune.sh media_sound
  COMMENT "Recording the tune for the web page"
  VERBATIM)
add_custom_target(web_tune ALL DEPENDS ${CMAKE_BINARY_DIR}/tune.ogg)
