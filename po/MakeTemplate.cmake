# Makes the catalogues' template: the marked texts of the code (xgettext: Tr, TrN, N_), the texts
# of the pages and menus (verdal-page-texts), the desktop entry's and the metainfo's (xgettext),
# in one file. The program's name and its maintainers' stay as they are in every language.
#   cmake -DSOURCE=<tree> -DSOURCES=a.cpp|b.h -DPAGES=res/pages/201.html|... -DPAGE_TEXTS=<program>
#         -DXGETTEXT=<xgettext> -DMSGCAT=<msgcat> -DMETAINFO_ITS=<metainfo.its> -DVERSION=<version> -DOUTPUT=<pot> -DWORK=<folder>
#         -P MakeTemplate.cmake
string(REPLACE "|" ";" SOURCES "${SOURCES}")
string(REPLACE "|" ";" PAGES "${PAGES}")
file(MAKE_DIRECTORY ${WORK})
set(common --from-code=UTF-8 --package-name=verdal --package-version=${VERSION}
    --msgid-bugs-address=maintainers@users.noreply.c-seed-2afc9205.example --no-wrap)
execute_process(COMMAND ${XGETTEXT} ${common} --language=C++ --keyword --keyword=Tr --keyword=TrN:1,2
    --keyword=N_ --flag=Tr:1:pass-c-format --flag=TrN:1:pass-c-format
    --flag=TrN:2:pass-c-format --flag=Format:1:c-format --add-comments=TRANSLATORS:
    --output=${WORK}/code.pot ${SOURCES}
  WORKING_DIRECTORY ${SOURCE} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${PAGE_TEXTS} ${PAGES} OUTPUT_FILE ${WORK}/pages.pot
  WORKING_DIRECTORY ${SOURCE} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${XGETTEXT} ${common} --language=Desktop --keyword --keyword=GenericName
    --keyword=Comment --keyword=Keywords --output=${WORK}/desktop.pot
    packaging/verdal.desktop
  WORKING_DIRECTORY ${SOURCE} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${XGETTEXT} ${common} --its=${METAINFO_ITS}
    --output=${WORK}/metainfo.pot packaging/org.verdal.verdal.metainfo.xml.in
  WORKING_DIRECTORY ${SOURCE} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${MSGCAT} --use-first --no-wrap --output-file=${OUTPUT}
    ${WORK}/code.pot ${WORK}/pages.pot ${WORK}/desktop.pot ${WORK}/metainfo.pot
  COMMAND_ERROR_IS_FATAL ANY)
