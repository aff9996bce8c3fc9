# The deployable Windows folder (cmake --install) and its ZIP (cpack -G ZIP, in the build
# folder): the program with its version resource, the Qt libraries it links and the plugins Qt
# loads beside it at run time (platforms/, styles/), Qt's Portuguese texts (translations/),
# libcurl, and the compiler's run-time libraries. No Firebird client goes in: the program loads the workstation's own at run time.
# The program itself is installed by src/CMakeLists.txt.

foreach(modulo Core Gui Widgets Network)
    install(FILES $<TARGET_FILE:Qt6::${modulo}> DESTINATION .)
endforeach()
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
if(TARGET Qt6::QWindowsVistaStylePlugin)
    install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
endif()
install(FILES $<TARGET_FILE:CURL::libcurl> DESTINATION .)

# Qt's own texts in Portuguese ("Cancelar", the edit fields' menus), loaded from translations/
# beside the program. The file is the same on every platform: the Windows Qt's own if it has
# one, else the build machine's (Debian's qt6-translations-l10n).
find_file(GERENCIADOR_QTBASE_PT_BR qtbase_pt_BR.qm
          PATHS ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_TRANSLATIONS} /opt/qt6-mingw64/translations
                /usr/share/qt6/translations
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(GERENCIADOR_QTBASE_PT_BR)
    install(FILES ${GERENCIADOR_QTBASE_PT_BR} DESTINATION translations)
else()
    message(WARNING "qtbase_pt_BR.qm not found (Debian: qt6-translations-l10n): the package "
                    "will show Qt's standard buttons in English")
endif()

# The compiler's run-time libraries as the compiler finds them, without their debugging
# information (Debian's libstdc++-6.dll carries some 20 MB of it).
if(MINGW)
    set(RUNTIME_MINGW ${CMAKE_BINARY_DIR}/runtime-mingw)
    set(DLLS_MINGW "")
    foreach(dll libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                        OUTPUT_VARIABLE caminho OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(NOT IS_ABSOLUTE "${caminho}" OR NOT EXISTS "${caminho}")
            message(FATAL_ERROR "${dll} não encontrada pelo compilador ${CMAKE_CXX_COMPILER}")
        endif()
        add_custom_command(OUTPUT ${RUNTIME_MINGW}/${dll}
                           COMMAND ${CMAKE_COMMAND} -E make_directory ${RUNTIME_MINGW}
                           COMMAND ${CMAKE_STRIP} --strip-debug -o ${RUNTIME_MINGW}/${dll}
                                   ${caminho}
                           DEPENDS ${caminho} VERBATIM)
        list(APPEND DLLS_MINGW ${RUNTIME_MINGW}/${dll})
    endforeach()
    add_custom_target(runtime_mingw ALL DEPENDS ${DLLS_MINGW})
    install(FILES ${DLLS_MINGW} DESTINATION .)
endif()

set(CPACK_PACKAGE_NAME Gerenciador)
set(CPACK_PACKAGE_VENDOR VELTO)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Gerenciador VELTO: módulos e conexões")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME "Gerenciador-${PROJECT_VERSION}-win64")
set(CPACK_GENERATOR ZIP)
set(CPACK_STRIP_FILES ON)
include(CPack)
