# Where `cmake --install` puts everything, in one place (included last by the top-level list, so every
# target exists). The layout follows the file system hierarchy under any prefix:
#
#   bin/                                tallyview, tallyctl, qsed, tallyway-devserver, exl (a link)
#   share/tallyway/                     the client's pages: Welcome.htm and HTML/
#   lib/tallyway/reports/               the report plug-ins shipped with the client
#   lib/tallyway/tallyview-viewer       the report viewer the client starts for report pages
#   lib/tallyway/                       Quaystone, the expression framework stand-in, exl and exl.conf
#   share/applications, share/metainfo  the desktop entry and its AppStream description
#   share/icons/hicolor/                the program's icon, scalable and as PNG pictures
#   share/man/man1                      the manual pages
#   share/bash-completion/completions   tallyctl's completion
#   share/tallyway-devserver/           the development server's example fixture
#
# The private folder is lib/tallyway, not the multiarch library folder, because the programs find it
# relative to their own folder (bin/../lib/tallyway) whatever the prefix, and a tree configured for
# /usr/local can then be installed under /usr as well (scripts/package does that).
include(GNUInstallDirs)
set(TALLY_INSTALL_PRIVATEDIR lib/tallyway)
set(TALLY_INSTALL_PAGESDIR ${CMAKE_INSTALL_DATADIR}/tallyway)

if(TARGET tallyview)
  install(TARGETS tallyview RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(TARGETS tallyview-viewer RUNTIME DESTINATION ${TALLY_INSTALL_PRIVATEDIR})
  install(FILES ${CMAKE_SOURCE_DIR}/help/Welcome.htm DESTINATION ${TALLY_INSTALL_PAGESDIR})
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/help/HTML DESTINATION ${TALLY_INSTALL_PAGESDIR})
  foreach(_report DailyTraffic WeekTotals BillPeriodHistory)
    if(TARGET ${_report})
      install(TARGETS ${_report} LIBRARY DESTINATION ${TALLY_INSTALL_PRIVATEDIR}/reports)
    endif()
  endforeach()
endif()

if(TARGET tallyctl)
  install(TARGETS tallyctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_SOURCE_DIR}/resources/bash-completion/tallyctl
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endif()

if(TARGET qsed)
  install(TARGETS qsed RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# exl lives with the plug-ins it loads: its service configuration names them without a folder, and
# its inherited run path ($ORIGIN) lets the service configurator find them beside it; exl.conf is read
# from the program's own folder (the link in bin/ is resolved first).
if(TARGET exl AND TARGET Quaystone)
  install(TARGETS exlcore Quaystone LIBRARY DESTINATION ${TALLY_INSTALL_PRIVATEDIR})
  install(TARGETS exl RUNTIME DESTINATION ${TALLY_INSTALL_PRIVATEDIR})
  install(FILES ${CMAKE_SOURCE_DIR}/tools/exl.conf DESTINATION ${TALLY_INSTALL_PRIVATEDIR})
  file(RELATIVE_PATH _exl_link_target /p/${CMAKE_INSTALL_BINDIR} /p/${TALLY_INSTALL_PRIVATEDIR}/exl)
  install(CODE "
    set(_bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(MAKE_DIRECTORY \"\${_bin}\")
    message(STATUS \"Installing: \${_bin}/exl -> ${_exl_link_target}\")
    file(CREATE_LINK \"${_exl_link_target}\" \"\${_bin}/exl\" SYMBOLIC)")
endif()

if(TARGET tallyway-devserver)
  install(TARGETS tallyway-devserver RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_SOURCE_DIR}/devserver/adapters-example.json
          DESTINATION ${CMAKE_INSTALL_DATADIR}/tallyway-devserver)
endif()

# Everything the rules above install, so that a tree can be made ready for installing without building
# the tests and benchmarks (scripts/package builds this).
add_custom_target(tally_installed)
foreach(_target tallyview tallyview-viewer tallyview_help tallyview_icons DailyTraffic WeekTotals BillPeriodHistory tallyctl qsed
                exl exlcore Quaystone tallyway-devserver)
  if(TARGET ${_target})
    add_dependencies(tally_installed ${_target})
  endif()
endforeach()
