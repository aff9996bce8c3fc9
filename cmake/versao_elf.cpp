// The fixed version block of a Linux executable, generated from project(VERSION): laid out like
// the first four fields of the Windows VS_FIXEDFILEINFO (signature, structure version, version
// MS, version LS), all little-endian, in an ELF section of its own, which
// Plataforma::LeVersaoArquivo reads back from the file. CMake links this object into every
// executable given a version (gerenciador_com_versao): a member of the static library would
// be left out of any program that calls nothing else in its file.
#include "versao_gerada.h"

#include <cstdint>

namespace {

constexpr std::uint32_t kAssinatura = 0xFEEF04BDu;
constexpr std::uint32_t kVersaoMS = (GERENCIADOR_VERSAO_MAIOR << 16) | GERENCIADOR_VERSAO_MENOR;
constexpr std::uint32_t kVersaoLS = (GERENCIADOR_VERSAO_REVISAO << 16) | GERENCIADOR_VERSAO_BUILD;

#define GER_LE32(v)                                                                                \
    static_cast<unsigned char>((v)&0xFF), static_cast<unsigned char>(((v) >> 8) & 0xFF),           \
        static_cast<unsigned char>(((v) >> 16) & 0xFF), static_cast<unsigned char>((v) >> 24)
[[gnu::used, gnu::section(".gerenciador_versao")]] const unsigned char kBlocoVersao[16] = {
    GER_LE32(kAssinatura), GER_LE32(0x00010000u), GER_LE32(kVersaoMS), GER_LE32(kVersaoLS)};
#undef GER_LE32

} // namespace
