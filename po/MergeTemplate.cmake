# Merges po/verdal.pot into each catalogue of the languages: new texts come in untranslated, gone
# ones are kept as obsolete entries at the end.
#   cmake -DMSGMERGE=<msgmerge> -DFOLDER=<po> -DLANGUAGES=de;fr -P MergeTemplate.cmake
foreach(language ${LANGUAGES})
  execute_process(COMMAND ${MSGMERGE} --quiet --update --backup=none --no-wrap
      ${FOLDER}/${language}.po ${FOLDER}/verdal.pot
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
