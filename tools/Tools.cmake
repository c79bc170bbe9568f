# Build-time tools: the image generator that draws the built-in images and
# rasterises the bitmap font into a generated source of the GUI library, and
# the PNG writer used to look at images and by the golden-image tests.
pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)
pkg_check_modules(LIBPNG REQUIRED IMPORTED_TARGET libpng)
set(ZAVO_FONT_FILE /usr/share/fonts/truetype/dejavu/DejaVuSansCondensed.ttf
    CACHE FILEPATH "Font the bitmap font is rasterised from")

# Every program below that links the libraries, and the benchmarks and fuzz
# targets, neither reads nor writes the user's settings file.
set(ZAVO_NO_SETTINGS ${CMAKE_SOURCE_DIR}/tools/NoSettings.cpp)

add_executable(zavo_make_images ${CMAKE_SOURCE_DIR}/tools/MakeImages.cpp
               ${CMAKE_SOURCE_DIR}/gui/CDIBitmap.cpp)
target_include_directories(zavo_make_images PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(zavo_make_images PRIVATE PkgConfig::FREETYPE)

set(ZAVO_BUILTIN_SOURCE ${CMAKE_BINARY_DIR}/generated/BuiltinImages.cpp)
add_custom_command(OUTPUT ${ZAVO_BUILTIN_SOURCE}
  COMMAND zavo_make_images ${ZAVO_BUILTIN_SOURCE} ${ZAVO_FONT_FILE}
  DEPENDS zavo_make_images ${ZAVO_FONT_FILE}
  COMMENT "Drawing the built-in images")
target_sources(zavo_gui PRIVATE ${ZAVO_BUILTIN_SOURCE})

add_library(zavo_png STATIC ${CMAKE_SOURCE_DIR}/tools/PngFile.cpp)
target_include_directories(zavo_png PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(zavo_png PUBLIC PkgConfig::LIBPNG)

add_executable(zavo_png_tool ${CMAKE_SOURCE_DIR}/tools/ImageToPng.cpp ${ZAVO_NO_SETTINGS})
set_target_properties(zavo_png_tool PROPERTIES OUTPUT_NAME zavo_png)
target_link_libraries(zavo_png_tool PRIVATE zavo_png ${ZAVO_LINK})

# The GUI tests compare against golden images in the source tree and run
# the generator twice to see that it gives the same bytes.
function(zavo_gui_test_setup target)
  target_link_libraries(${target} PRIVATE zavo_png)
  target_compile_definitions(${target} PRIVATE
    ZAVO_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    ZAVO_IMAGE_TOOL="$<TARGET_FILE:zavo_make_images>"
    ZAVO_FONT_FILE="${ZAVO_FONT_FILE}"
    ZAVO_LAYOUT_TOOL="$<TARGET_FILE:zavo_make_layout>"
    ZAVO_LAYOUT_SOURCE="${CMAKE_SOURCE_DIR}/data/Layout.txt"
    ZAVO_LAYOUT_FILE="${CMAKE_BINARY_DIR}/ZAVO.gui")
  add_dependencies(${target} zavo_layout)
endfunction()

# The factory sounds: templates, bank and presets written into the program
# folder from their description under data/.
add_executable(zavo_make_sounds ${CMAKE_SOURCE_DIR}/tools/MakeSounds.cpp ${ZAVO_NO_SETTINGS})
target_link_libraries(zavo_make_sounds PRIVATE ${ZAVO_LINK})
set(ZAVO_SOUND_SOURCE ${CMAKE_SOURCE_DIR}/data/FactorySounds.txt)
set(ZAVO_SOUND_FILES ${CMAKE_BINARY_DIR}/Bank/ZavoFactory.qvb)
foreach(type profi micro spec fm forman wave ana)
  list(APPEND ZAVO_SOUND_FILES ${CMAKE_BINARY_DIR}/DEF${type}ZAVO.fxp)
endforeach()
add_custom_command(OUTPUT ${ZAVO_SOUND_FILES}
  COMMAND zavo_make_sounds ${ZAVO_SOUND_SOURCE} ${CMAKE_BINARY_DIR}
  DEPENDS zavo_make_sounds ${ZAVO_SOUND_SOURCE}
  COMMENT "Writing the factory sounds")
add_custom_target(zavo_sounds ALL DEPENDS ${ZAVO_SOUND_FILES})

# The window's layout: "ZAVO.gui" written from its source under data/, panel
# images drawn by the tool, then copied into the program folder. The layout
# editor saves the user's layout under that name: a file there that is not
# the copy the build put there last is the user's and stays. The copy lies
# beside it (.ZAVO.gui.installed), not under generated/: make clean keeps it
# while it keeps the user's layout, and the next build still knows it by it.
# Builds before that kept it under generated/ (ZAVO_LAYOUT_OLD_RECORD): in
# a folder of theirs the layout equal to it is the build's too.
add_executable(zavo_make_layout ${CMAKE_SOURCE_DIR}/tools/MakeLayout.cpp ${ZAVO_NO_SETTINGS})
target_link_libraries(zavo_make_layout PRIVATE ${ZAVO_LINK})
set(ZAVO_LAYOUT_SOURCE ${CMAKE_SOURCE_DIR}/data/Layout.txt)
set(ZAVO_LAYOUT_FILE ${CMAKE_BINARY_DIR}/generated/ZAVO.gui)
set(ZAVO_LAYOUT_RECORD .ZAVO.gui.installed)
set(ZAVO_LAYOUT_OLD_RECORD generated/ZAVO.gui.installed)
add_custom_command(OUTPUT ${ZAVO_LAYOUT_FILE}
  COMMAND zavo_make_layout ${ZAVO_LAYOUT_SOURCE} ${ZAVO_LAYOUT_FILE}
  DEPENDS zavo_make_layout ${ZAVO_LAYOUT_SOURCE}
  COMMENT "Writing the layout")
# Looked at on every build: a ZAVO.gui deleted by hand comes back.
add_custom_target(zavo_layout ALL
  COMMAND sh ${CMAKE_SOURCE_DIR}/tools/install-layout.sh ${CMAKE_BINARY_DIR}/ZAVO.gui
          ${CMAKE_BINARY_DIR}/${ZAVO_LAYOUT_RECORD} ${ZAVO_LAYOUT_FILE}
          ${CMAKE_BINARY_DIR}/${ZAVO_LAYOUT_OLD_RECORD}
  DEPENDS ${ZAVO_LAYOUT_FILE})

# Every page rendered to PNG (make screenshots) with the factory bank and
# presets loaded; nothing is kept in git.
add_executable(zavo_screenshots EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/tools/Screenshots.cpp ${ZAVO_NO_SETTINGS})
target_link_libraries(zavo_screenshots PRIVATE zavo_png ${ZAVO_LINK})
add_custom_target(screenshots
  COMMAND zavo_screenshots ${CMAKE_BINARY_DIR} ${CMAKE_BINARY_DIR}/screenshots
  DEPENDS zavo_screenshots zavo_layout zavo_sounds)

# The harness that measures the running program's timing through JACK
# (scripts/jack-timing builds and runs it): a JACK client of its own that
# links none of the program's libraries.
add_executable(zavo_jack_player EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/tools/JackPlayer.cpp)
target_include_directories(zavo_jack_player PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(zavo_jack_player PRIVATE PkgConfig::JACK Threads::Threads)
