#pragma once

#include <cstdint>

// The fixed version block that every executable of ours carries on Linux, laid out like the
// first four fields of the Windows VS_FIXEDFILEINFO (signature, structure version, version
// MS, version LS), all little-endian, in an ELF section of its own. The block is defined in
// BlocoVersao_posix.cpp; each executable is linked with --undefined=gerenciador_bloco_versao
// (cmake/Versao.cmake), so the object that holds it always reaches the executable even though
// no code refers to it. Plataforma::LeVersaoArquivo reads it back from the file.
constexpr std::uint32_t kAssinaturaVersao = 0xFEEF04BDu;
constexpr char kSecaoVersao[] = ".gerenciador_versao";
