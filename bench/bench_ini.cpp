// The INI engine: parsing a large file, an operation that writes many keys (one replace),
// reading one key of a typical connection registry.
#include "common/ArquivoIni.h"
#include "common/Plataforma.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

QTemporaryDir& Pasta() {
    static QTemporaryDir pasta;
    return pasta;
}

QString Grava(const QString& nome, const QByteArray& bytes) {
    const QString caminho = Pasta().path() + u'/' + nome;
    QFile f(caminho);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        std::abort();
    return caminho;
}

// A connection registry as the program keeps it: one section per server.
QByteArray Conexoes(int servidores) {
    QByteArray r;
    for (int i = 0; i < servidores; ++i)
        r += "[SERVIDOR " + QByteArray::number(i) + "]\r\nServidor=192.168.0." +
             QByteArray::number(i % 250 + 1) + "\r\nTipo=" + (i % 2 ? "Linux" : "Windows") +
             "\r\nAplica\xE7\xE3o=C:\\VELTO\\\r\nStatus=" + (i == servidores / 2 ? "A" : "I") +
             "\r\n\r\n";
    return r;
}

void BM_Analisa10MB(benchmark::State& estado) {
    QByteArray bytes;
    for (int n = 0; bytes.size() < 10 * 1024 * 1024; n += 1000)
        bytes += Conexoes(1000);
    const QString caminho = Grava(QStringLiteral("GRANDE.INI"), bytes);
    for (auto _ : estado) {
        ArquivoIni ini(caminho);
        benchmark::DoNotOptimize(ini.LeituraOk());
    }
    estado.SetBytesProcessed(estado.iterations() * bytes.size());
}
BENCHMARK(BM_Analisa10MB)->Unit(benchmark::kMillisecond);

// 10,000 keys in one operation and one replace. Argument: keys per section (10,000 = all new
// keys in one section; 10 = 1,000 new sections of 10 keys; 0 = 10,000 existing keys changed).
void BM_Grava10MilChaves(benchmark::State& estado) {
    const int porSecao = int(estado.range(0));
    QByteArray inicial = Conexoes(10);
    if (porSecao == 0) {
        for (int s = 0; s < 1000; ++s) {
            inicial += "[S" + QByteArray::number(s) + "]\r\n";
            for (int k = 0; k < 10; ++k)
                inicial += "Chave" + QByteArray::number(k) + "=velho\r\n";
        }
    }
    for (auto _ : estado) {
        estado.PauseTiming();
        const QString caminho = Grava(QStringLiteral("MUITAS.INI"), inicial);
        estado.ResumeTiming();
        ArquivoIni ini(caminho);
        for (int i = 0; i < 10000; ++i) {
            const int s = porSecao == 0 ? i / 10 : i / porSecao;
            const int k = porSecao == 0 ? i % 10 : i % porSecao;
            ini.GravaTexto(QStringLiteral("S%1").arg(s), QStringLiteral("Chave%1").arg(k),
                           QStringLiteral("valor %1").arg(i));
        }
        if (!ini.Grava())
            estado.SkipWithError("Grava falhou");
    }
}
BENCHMARK(BM_Grava10MilChaves)->Arg(10000)->Arg(10)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// What an operation of the connection registry does: open the file, read one key.
void BM_LeUmaChaveConexoes(benchmark::State& estado) {
    const QString caminho = Grava(QStringLiteral("CONEXOES.INI"), Conexoes(20));
    for (auto _ : estado) {
        const ArquivoIni ini(caminho);
        benchmark::DoNotOptimize(
            ini.LeTexto(QStringLiteral("Servidor 17"), QStringLiteral("servidor"), QString()));
    }
}
BENCHMARK(BM_LeUmaChaveConexoes)->Unit(benchmark::kMicrosecond);

// One round on a registry of 10,000 servers (4 keys each): open and read the file, list the
// sections, read one key and write one key per section, commit (one atomic replace with its
// fsyncs). The split: the same round ending in Conteudo() (CPU only, nothing written), and
// the commit alone (GravaArquivoAtomico of the same bytes).
constexpr int kServidoresRodada = 10000;

const QString& ArquivoRodada() {
    static const QString caminho = Grava(QStringLiteral("RODADA.INI"), Conexoes(kServidoresRodada));
    return caminho;
}

// Returns the bytes the round leaves; writes them when `grava`.
QByteArray Rodada(int volta, bool grava, benchmark::State& estado) {
    ArquivoIni ini(ArquivoRodada());
    const QStringList secoes = ini.Secoes();
    qsizetype lidos = 0;
    for (const QString& secao : secoes)
        lidos += ini.LeTexto(secao, QStringLiteral("Servidor")).size();
    benchmark::DoNotOptimize(lidos);
    // A new value every round, so that every round really changes the file.
    const QString status = volta % 2 ? QStringLiteral("A") : QStringLiteral("I");
    for (const QString& secao : secoes)
        ini.GravaTexto(secao, QStringLiteral("Status"), status);
    if (grava) {
        if (!ini.Grava())
            estado.SkipWithError("Grava falhou");
        return {};
    }
    return ini.Conteudo();
}

void BM_RodadaConexoes(benchmark::State& estado) {
    int volta = 0;
    for (auto _ : estado)
        Rodada(++volta, true, estado);
    estado.SetItemsProcessed(estado.iterations() * kServidoresRodada);
}
BENCHMARK(BM_RodadaConexoes)->Unit(benchmark::kMillisecond);

void BM_RodadaConexoesSemGravar(benchmark::State& estado) {
    int volta = 0;
    for (auto _ : estado)
        benchmark::DoNotOptimize(Rodada(++volta, false, estado));
}
BENCHMARK(BM_RodadaConexoesSemGravar)->Unit(benchmark::kMillisecond);

void BM_RodadaSoGravacao(benchmark::State& estado) {
    const QByteArray bytes = Conexoes(kServidoresRodada);
    const QString caminho = Grava(QStringLiteral("RODADA-GRAVACAO.INI"), bytes);
    QString erro;
    for (auto _ : estado)
        if (!Plataforma::GravaArquivoAtomico(caminho, bytes, &erro))
            estado.SkipWithError("GravaArquivoAtomico falhou");
    estado.SetBytesProcessed(estado.iterations() * bytes.size());
}
BENCHMARK(BM_RodadaSoGravacao)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
