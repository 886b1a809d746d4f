# The catalogs of the texts a person reads: resources/translations/orvane_<language>.ts, kept in
# the tree, compiled into the bundle's Resources/translations/ by lrelease. The target
# translations-update refreshes every .ts from the sources (new texts come in unfinished, gone
# ones go); the test translations_complete fails while a catalog lacks a text of the sources.
find_program(ORVANE_LRELEASE NAMES lrelease-qt6 lrelease HINTS /usr/lib/qt6/bin REQUIRED)
find_program(ORVANE_LUPDATE NAMES lupdate-qt6 lupdate HINTS /usr/lib/qt6/bin REQUIRED)

file(GLOB ORVANE_TS_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources/translations/*.ts)
set(ORVANE_TRANSLATIONS_DIR "${ORVANE_BUNDLE_CONTENTS}/Resources/translations")
# Where the texts are: the portable logic, the platform's layers (alerts of the openers, the
# helper's installation, the Qt windows) and the wizard's Designer file; a folder as a whole, so
# that a text in a new file is found too.
set(ORVANE_TRANSLATED_SOURCES
  ${PROJECT_SOURCE_DIR}/app ${PROJECT_SOURCE_DIR}/wizard ${PROJECT_SOURCE_DIR}/service
  ${PROJECT_SOURCE_DIR}/helper_interface ${PROJECT_SOURCE_DIR}/cloud_api
  ${PROJECT_SOURCE_DIR}/platform ${PROJECT_SOURCE_DIR}/resources/setup_wizard.ui)

set(qm_files)
foreach(ts ${ORVANE_TS_FILES})
  get_filename_component(name ${ts} NAME_WE)
  set(qm ${ORVANE_TRANSLATIONS_DIR}/${name}.qm)
  add_custom_command(OUTPUT ${qm} DEPENDS ${ts}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ORVANE_TRANSLATIONS_DIR}
    COMMAND ${ORVANE_LRELEASE} -silent ${ts} -qm ${qm})
  list(APPEND qm_files ${qm})
endforeach()
add_custom_target(orvane_translations ALL DEPENDS ${qm_files})

add_custom_target(translations-update
  COMMAND ${ORVANE_LUPDATE} -silent -no-obsolete -locations none
          ${ORVANE_TRANSLATED_SOURCES} -ts ${ORVANE_TS_FILES}
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
  COMMENT "Refreshing the translation catalogs from the sources")
