# The Windows download by CPack: `cmake --build build-win --target package`
# makes zarvex-<version>-win64.zip, a folder of that name holding zarvex.exe,
# zarvex-qr.exe, tx.wav, a default config.ini and a short readme. The program
# keeps its settings beside itself, so the folder is the whole installation.
# (The Linux packages are cmake/packaging.cmake.)
if(NOT WIN32 OR NOT TARGET zarvex)
  return()
endif()

install(TARGETS zarvex zarvex-qr RUNTIME DESTINATION . COMPONENT zarvex)
install(FILES ${PROJECT_SOURCE_DIR}/data/config.ini ${PROJECT_SOURCE_DIR}/data/tx.wav
        ${PROJECT_SOURCE_DIR}/packaging/windows/readme.txt DESTINATION . COMPONENT zarvex)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME zarvex)
set(CPACK_PACKAGE_VENDOR "Zarvex developers")
set(CPACK_PACKAGE_FILE_NAME zarvex-${PROJECT_VERSION}-win64)
set(CPACK_STRIP_FILES ON)
include(CPack)
