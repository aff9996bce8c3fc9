// An INI file as another program may have left it, then a few changes decoded from the input.
// What must hold: the file read and not changed, or given back the values read from it, keeps its
// bytes exactly; after the changes, the bytes written read back as the object read them.
#include "common/ArquivoIni.h"
#include "common/Texto.h"

#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>

namespace {

QString Nome(FuzzedDataProvider& fdp) {
    const std::string s = fdp.ConsumeRandomLengthString(24);
    return DeWindows1252(QByteArrayView(s.data(), qsizetype(s.size())));
}

// What a reader sees of the file: every section and every key of each, with its value.
QStringList Leitura(const ArquivoIni& ini) {
    QStringList r = ini.Secoes();
    for (const QString& s : ini.Secoes())
        for (const QString& k : ini.Chaves(s))
            r << s + u'|' + k + u'=' + ini.LeTexto(s, k, QStringLiteral("\x01"));
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
    FuzzedDataProvider fdp(dados, tamanho);
    const std::string texto = fdp.ConsumeRandomLengthString(4096);
    const QByteArray arquivo(texto.data(), qsizetype(texto.size()));
    ArquivoIni ini = ArquivoIni::DeBytes(arquivo);
    if (ini.Conteudo() != arquivo)
        std::abort();
    // Writing back what was read changes nothing.
    for (const QString& secao : ini.Secoes().mid(0, 8))
        for (const QString& chave : ini.Chaves(secao).mid(0, 8))
            ini.GravaTexto(secao, chave, ini.LeTexto(secao, chave));
    if (ini.Alterado() || ini.Conteudo() != arquivo)
        std::abort();
    for (int passo = 0; passo < 6 && fdp.remaining_bytes() > 0; ++passo) {
        switch (fdp.ConsumeIntegralInRange(0, 3)) {
        case 0:
        case 1: {
            const QString secao = Nome(fdp), chave = Nome(fdp), valor = Nome(fdp);
            ini.GravaTexto(secao, chave, valor);
            break;
        }
        case 2: {
            const QString secao = Nome(fdp);
            ini.ApagaChave(secao, Nome(fdp));
            break;
        }
        default:
            ini.ApagaSecao(Nome(fdp));
            break;
        }
    }
    if (Leitura(ArquivoIni::DeBytes(ini.Conteudo())) != Leitura(ini))
        std::abort();
    return 0;
}
