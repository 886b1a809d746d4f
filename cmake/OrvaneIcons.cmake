# Every icon is drawn once, as an SVG, and made into its sizes here.
#
# The application's icon, resources/icons/app/<app id>.svg: the bundle's AppIcon.png (128 px, for
# windows and the About panel) and the hicolor theme's apps icons at every usual size, the SVG
# itself as the scalable one.
#
# The status icons, resources/icons/status/<theme name>.svg: the bundle's pixmaps (<bundle
# name>.png at 22 px, @2x at 44 px) and the theme's status icons (the source as <theme
# name>-symbolic.svg, which panels recolour to their text colour, and <theme name>.png at the
# usual sizes). The app sends the panel the theme's name where it is installed, and the pixmap
# always.
find_program(ORVANE_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(ORVANE_IMAGEMAGICK NAMES convert-im6.q16 convert-im6 convert REQUIRED)

# Bundle name, theme name; the app's table in platform/qt/qt_status_bar.cpp is the same.
set(ORVANE_STATUS_ICONS
  StatusBarIcon orvane-storage-gateway-running
  StatusBarIconStopped orvane-storage-gateway-stopped
  StatusBarIconError orvane-storage-gateway-error)
set(ORVANE_STATUS_ICON_SIZES 16 22 24 32 48)
# Laid out as installed, so that XDG_DATA_DIRS=<build>/share finds them in a run from the build.
set(ORVANE_ICON_THEME_DIR "${CMAKE_BINARY_DIR}/share/icons/hicolor")

set(render "${PROJECT_SOURCE_DIR}/resources/icons/render-status-icon")
# One size of one icon, drawn from its source into <out>.
function(orvane_render_status_icon source size out)
  get_filename_component(folder "${out}" DIRECTORY)
  add_custom_command(OUTPUT "${out}" DEPENDS "${source}" "${render}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${folder}"
    COMMAND "${render}" "${ORVANE_RSVG_CONVERT}" "${ORVANE_IMAGEMAGICK}" "${source}" ${size} "${out}")
endfunction()

set(ORVANE_BUNDLE_ICONS)
set(theme_icons)
list(LENGTH ORVANE_STATUS_ICONS count)
math(EXPR last "${count} - 1")
foreach(i RANGE 0 ${last} 2)
  math(EXPR j "${i} + 1")
  list(GET ORVANE_STATUS_ICONS ${i} bundle_name)
  list(GET ORVANE_STATUS_ICONS ${j} theme_name)
  set(source "${PROJECT_SOURCE_DIR}/resources/icons/status/${theme_name}.svg")
  foreach(variant "22;${bundle_name}.png" "44;${bundle_name}@2x.png")
    list(GET variant 0 size)
    list(GET variant 1 file)
    set(out "${ORVANE_BUNDLE_CONTENTS}/Resources/${file}")
    orvane_render_status_icon("${source}" ${size} "${out}")
    list(APPEND ORVANE_BUNDLE_ICONS "${out}")
  endforeach()
  foreach(size ${ORVANE_STATUS_ICON_SIZES})
    set(out "${ORVANE_ICON_THEME_DIR}/${size}x${size}/status/${theme_name}.png")
    orvane_render_status_icon("${source}" ${size} "${out}")
    list(APPEND theme_icons "${out}")
  endforeach()
  set(symbolic "${ORVANE_ICON_THEME_DIR}/scalable/status/${theme_name}-symbolic.svg")
  add_custom_command(OUTPUT "${symbolic}" DEPENDS "${source}"
    COMMAND ${CMAKE_COMMAND} -E copy "${source}" "${symbolic}")
  list(APPEND theme_icons "${symbolic}")
endforeach()

set(app_icon_name com.velmora.OrvaneStorageGatewayApp)
set(app_icon "${PROJECT_SOURCE_DIR}/resources/icons/app/${app_icon_name}.svg")
# One size of the application's icon, as drawn.
function(orvane_render_app_icon size out)
  get_filename_component(folder "${out}" DIRECTORY)
  add_custom_command(OUTPUT "${out}" DEPENDS "${app_icon}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${folder}"
    COMMAND "${ORVANE_RSVG_CONVERT}" -w ${size} -h ${size} "${app_icon}" -o "${out}")
endfunction()
orvane_render_app_icon(128 "${ORVANE_BUNDLE_CONTENTS}/Resources/AppIcon.png")
list(APPEND ORVANE_BUNDLE_ICONS "${ORVANE_BUNDLE_CONTENTS}/Resources/AppIcon.png")
foreach(size 16 22 24 32 48 64 128 256)
  set(out "${ORVANE_ICON_THEME_DIR}/${size}x${size}/apps/${app_icon_name}.png")
  orvane_render_app_icon(${size} "${out}")
  list(APPEND theme_icons "${out}")
endforeach()
set(scalable "${ORVANE_ICON_THEME_DIR}/scalable/apps/${app_icon_name}.svg")
add_custom_command(OUTPUT "${scalable}" DEPENDS "${app_icon}"
  COMMAND ${CMAKE_COMMAND} -E copy "${app_icon}" "${scalable}")
list(APPEND theme_icons "${scalable}")

add_custom_target(orvane_icons ALL DEPENDS ${ORVANE_BUNDLE_ICONS} ${theme_icons})
