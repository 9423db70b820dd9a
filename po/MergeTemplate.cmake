# Merges po/verdal.pot into each catalogue of the languages: new texts come in untranslated (or
# fuzzy, from a similar one), gone ones go.
#   cmake -DMSGMERGE=<msgmerge> -DMSGATTRIB=<msgattrib> -DFOLDER=<po> -DLANGUAGES=de;fr
#         -P MergeTemplate.cmake
foreach(language ${LANGUAGES})
  execute_process(COMMAND ${MSGMERGE} --quiet --update --backup=none --no-wrap
      ${FOLDER}/${language}.po ${FOLDER}/verdal.pot
    COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${MSGATTRIB} --no-obsolete --no-wrap --output-file=${FOLDER}/${language}.po
      ${FOLDER}/${language}.po
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
