// The version block of the executable (see BlocoVersao.h), generated from the project's
// version.
#include "common/BlocoVersao.h"
#include "versao_gerada.h"

namespace {

constexpr std::uint32_t kVersaoMS = (GERENCIADOR_VERSAO_MAIOR << 16) | GERENCIADOR_VERSAO_MENOR;
constexpr std::uint32_t kVersaoLS = (GERENCIADOR_VERSAO_REVISAO << 16) | GERENCIADOR_VERSAO_BUILD;

} // namespace

#define GER_LE32(v)                                                                                \
    static_cast<unsigned char>((v)&0xFF), static_cast<unsigned char>(((v) >> 8) & 0xFF),           \
        static_cast<unsigned char>(((v) >> 16) & 0xFF), static_cast<unsigned char>((v) >> 24)

extern "C" __attribute__((used, section(".gerenciador_versao")))
const unsigned char gerenciador_bloco_versao[16] = {
    GER_LE32(kAssinaturaVersao), GER_LE32(0x00010000u), GER_LE32(kVersaoMS), GER_LE32(kVersaoLS)};

#undef GER_LE32
