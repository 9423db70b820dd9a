# Fails unless po/verdal.pot holds exactly the texts that the code, the pages and menus, the desktop
# entry and the metainfo hold today, and every catalogue translates each of them, its formats
# matching (msgfmt --check): what a change of a text leaves undone shows here.
#   cmake <MakeTemplate.cmake's arguments> -DMSGFMT=<msgfmt> -DMSGCMP=<msgcmp> -DFOLDER=<po>
#         -DLANGUAGES=de;fr -P CheckCatalogues.cmake
set(OUTPUT ${WORK}/current.pot)
include(${CMAKE_CURRENT_LIST_DIR}/MakeTemplate.cmake)
foreach(pair "${OUTPUT};${FOLDER}/verdal.pot" "${FOLDER}/verdal.pot;${OUTPUT}")
  execute_process(COMMAND ${MSGCMP} --use-untranslated ${pair}
    RESULT_VARIABLE failed ERROR_VARIABLE said)
  if(failed)
    message(FATAL_ERROR "po/verdal.pot is not the template of today's texts (make it anew with "
      "cmake --build build --target verdal-pot):\n${said}")
  endif()
endforeach()
foreach(language ${LANGUAGES})
  execute_process(COMMAND ${MSGFMT} --check --statistics -o /dev/null ${FOLDER}/${language}.po
    RESULT_VARIABLE failed ERROR_VARIABLE said)
  if(failed OR said MATCHES "fuzzy|untranslated" OR NOT said MATCHES "translated message")
    message(FATAL_ERROR "po/${language}.po: ${said}")
  endif()
  execute_process(COMMAND ${MSGCMP} ${FOLDER}/${language}.po ${FOLDER}/verdal.pot
    RESULT_VARIABLE failed ERROR_VARIABLE said)
  if(failed)
    message(FATAL_ERROR "po/${language}.po does not translate every text of the template:\n${said}")
  endif()
  string(STRIP "${said}" said)
  message(STATUS "po/${language}.po: every text translated")
endforeach()
