# The page (included by the top-level CMakeLists.txt in a build with emscripten): tarnwood.js and
# tarnwood.wasm from game/main_web.cpp over the web backend, built with ASYNCIFY so that the
# program's loop waits for the browser (any static server will do: no threads, no special
# headers); the faces the menu uses, the shipped settings file and the page's script are embedded.
# dist/ gets index.html, tarnwood.js and tarnwood.wasm.
set(WEB_DIR ${PROJECT_SOURCE_DIR}/runtime/platform/web)
add_executable(tarnwood game/main_web.cpp)
target_link_libraries(tarnwood PRIVATE tarnwood_game tarnwood_web)
set_target_properties(tarnwood PROPERTIES SUFFIX ".js")
target_link_options(tarnwood PRIVATE
  -sASYNCIFY -sASYNCIFY_STACK_SIZE=65536 -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=64MB -sTOTAL_STACK=1MB
  -sEXIT_RUNTIME=0 -sENVIRONMENT=web -lidbfs.js
  "SHELL:-sEXPORTED_RUNTIME_METHODS=['FS','UTF8ToString']"
  "SHELL:--pre-js ${WEB_DIR}/web_page.js"
  "SHELL:--embed-file ${PROJECT_SOURCE_DIR}/Files/Tarnwood.cfg@/shipped/Tarnwood.cfg"
  # The faces of runtime/platform/gdi/gdi_faces_web.cpp, under their Debian paths.
  "SHELL:--embed-file /usr/share/fonts/opentype/urw-base35/Z003-MediumItalic.otf@/usr/share/fonts/opentype/urw-base35/Z003-MediumItalic.otf"
  "SHELL:--embed-file /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf@/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
  "SHELL:--embed-file /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf@/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf")
set_property(TARGET tarnwood APPEND PROPERTY LINK_DEPENDS ${WEB_DIR}/web_page.js ${PROJECT_SOURCE_DIR}/Files/Tarnwood.cfg)
set(DIST ${CMAKE_BINARY_DIR}/dist)
add_custom_command(TARGET tarnwood POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${DIST}
  COMMAND ${CMAKE_COMMAND} -E copy ${WEB_DIR}/index.html $<TARGET_FILE_DIR:tarnwood>/tarnwood.js
          $<TARGET_FILE_DIR:tarnwood>/tarnwood.wasm ${DIST}/
  COMMENT "Copying the page into dist/"
  VERBATIM)
