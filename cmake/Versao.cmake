# Generates the version data of the executables from project(VERSION):
#  - versao_gerada.h: the four numbers, for the Linux version block (an ELF section of its own,
#                     cmake/versao_elf.cpp)
#  - gerenciador.rc:  the Windows VERSIONINFO resource (UTF-8 source, windres -c 65001)
set(GERENCIADOR_VERSAO_DIR ${CMAKE_BINARY_DIR}/versao)
configure_file(${CMAKE_SOURCE_DIR}/cmake/versao_gerada.h.in
               ${GERENCIADOR_VERSAO_DIR}/versao_gerada.h @ONLY)

if(WIN32)
    enable_language(RC)
    set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
    configure_file(${CMAKE_SOURCE_DIR}/cmake/gerenciador.rc.in
                   ${GERENCIADOR_VERSAO_DIR}/gerenciador.rc @ONLY)
else()
    # An object library: its object goes into every executable that links it, referenced or not.
    add_library(gerenciador_versao_elf OBJECT ${CMAKE_SOURCE_DIR}/cmake/versao_elf.cpp)
    target_include_directories(gerenciador_versao_elf PRIVATE ${GERENCIADOR_VERSAO_DIR})
endif()

# Gives an executable its version: the Windows resource, or the Linux version block.
function(gerenciador_com_versao alvo)
    if(WIN32)
        target_sources(${alvo} PRIVATE ${GERENCIADOR_VERSAO_DIR}/gerenciador.rc)
    else()
        target_link_libraries(${alvo} PRIVATE gerenciador_versao_elf)
    endif()
endfunction()
