# Run by cpack after the files are staged: Debian keeps the programs of games in /usr/games. The
# program finds its data there as from /usr/bin (../share/kelvane).
set(usr "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
file(MAKE_DIRECTORY "${usr}/games")
file(RENAME "${usr}/bin/kelvane" "${usr}/games/kelvane")
file(GLOB left "${usr}/bin/*")
if(NOT left)
    file(REMOVE_RECURSE "${usr}/bin")
endif()
