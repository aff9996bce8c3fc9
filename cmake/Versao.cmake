# Generates the version data of the executables from project(VERSION):
#  - versao_gerada.h: the four numbers, for the Linux version block (an ELF section of its own,
#                     src/common/BlocoVersao_posix.cpp)
#  - gerenciador.rc:  the Windows VERSIONINFO resource (UTF-8 source, windres -c 65001)
set(GERENCIADOR_VERSAO_DIR ${CMAKE_BINARY_DIR}/versao)
configure_file(${CMAKE_SOURCE_DIR}/cmake/versao_gerada.h.in
               ${GERENCIADOR_VERSAO_DIR}/versao_gerada.h @ONLY)

if(WIN32)
    enable_language(RC)
    set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
    configure_file(${CMAKE_SOURCE_DIR}/cmake/gerenciador.rc.in
                   ${GERENCIADOR_VERSAO_DIR}/gerenciador.rc @ONLY)
endif()

# Gives an executable its version: the Windows resource, or on Linux the block of
# src/common/BlocoVersao_posix.cpp, which no code refers to and which the linker would leave
# out of the static library without --undefined.
function(gerenciador_com_versao alvo)
    if(WIN32)
        target_sources(${alvo} PRIVATE ${GERENCIADOR_VERSAO_DIR}/gerenciador.rc)
    else()
        target_link_options(${alvo} PRIVATE "LINKER:--undefined=gerenciador_bloco_versao")
    endif()
endfunction()
