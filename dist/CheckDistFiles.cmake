# Checks that the files installed beside the program keep up with it:
#   every option `PROGRAM --help` lists is described in the manual page;
#   the manual page, the AppStream metadata and the changelog name the project's VERSION.
# Run by CTest: cmake -DPROGRAM=... -DVERSION=... -DDIST=... -DAPP_ID=... -P CheckDistFiles.cmake

cmake_minimum_required(VERSION 3.25)

set(failures)

execute_process(COMMAND ${PROGRAM} --help
                OUTPUT_VARIABLE help RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --help failed (${result}): ${errors}")
endif()
file(READ ${DIST}/tqx-orbivo-emulator.1 manual)
# Options are listed at the start of a help line, after any short form: "  -h, --help".
string(REGEX MATCHALL "\n  (-[a-zA-Z], )?--[a-z0-9-]+" listed "${help}")
if(NOT listed)
    message(FATAL_ERROR "no options found in the output of --help:\n${help}")
endif()
# The options the manual page names, written \-\-name\-part in roff.
string(REGEX MATCHALL "\\\\-\\\\-[a-z0-9]+(\\\\-[a-z0-9]+)*" named "${manual}")
list(TRANSFORM named REPLACE "\\\\" "")
foreach(entry IN LISTS listed)
    string(REGEX REPLACE ".*--" "--" option "${entry}")
    if(NOT option IN_LIST named)
        list(APPEND failures "the manual page does not describe ${option}")
    endif()
endforeach()

if(NOT manual MATCHES "(^|\n)\\.TH [^\n]*\"tqx-orbivo-emulator ${VERSION}\"")
    list(APPEND failures "the manual page's .TH line does not name version ${VERSION}")
endif()

file(READ ${DIST}/${APP_ID}.metainfo.xml metainfo)
string(REGEX MATCH "<release version=\"([^\"]*)\"" release "${metainfo}")
if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
    list(APPEND failures
         "the metadata's newest release is \"${CMAKE_MATCH_1}\", not the version ${VERSION}")
endif()

file(STRINGS ${DIST}/changelog first LIMIT_COUNT 1)
if(NOT first MATCHES "^tqx-orbivo-emulator \\(${VERSION}\\) ")
    list(APPEND failures "the changelog's newest entry is not version ${VERSION}: ${first}")
endif()

if(failures)
    list(JOIN failures "\n  " text)
    message(FATAL_ERROR "The installed files do not match the program:\n  ${text}")
endif()
list(LENGTH listed count)
message(STATUS "${count} options described; version ${VERSION} throughout")
