// The registry operations the main window runs on start and on every server switch, on a
// registry of 20 and of 2,000 servers held in a real file in a temporary folder.
#include "common/Texto.h"
#include "principal/RegistroConexoes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

struct Instalacao {
    QTemporaryDir raiz;
    QString pasta;

    explicit Instalacao(int servidores) {
        pasta = raiz.path() + QStringLiteral("/EMPRESA/");
        QDir().mkpath(pasta);
        QByteArray conexoes;
        for (int i = 0; i < servidores; ++i) {
            conexoes += ParaWindows1252(
                QStringLiteral("[SERVIDOR %1]\r\nServidor=10.0.%2.%3\r\nTipo=Linux\r\n"
                               "Aplicação=\\\\SRV%1\\VELTO\r\nStatus=%4\r\n")
                    .arg(i, 4, 10, QLatin1Char('0'))
                    .arg(i / 250)
                    .arg(i % 250)
                    .arg(i == servidores - 1 ? u'A' : u'I'));
        }
        Grava(QStringLiteral("CONEXOES.INI"), conexoes);
        Grava(QStringLiteral("DBXCONNECTIONS.INI"),
              "[EMPRESA]\r\nDriverName=Interbase\r\nDatabase=x\r\nUser_Name=SYSDBA\r\n");
    }
    void Grava(const QString& nome, const QByteArray& bytes) const {
        QFile f(pasta + nome);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    }
};

void BM_CarregarConexoes(benchmark::State& estado) {
    const Instalacao inst(int(estado.range(0)));
    for (auto _ : estado) {
        const auto lista = RegistroConexoes::CarregarConexoes(inst.pasta, true);
        benchmark::DoNotOptimize(lista.selecionado);
    }
}

// The load the connection editor makes (no active-mark search): reading, sorting, mirroring.
void BM_CarregarSemMarca(benchmark::State& estado) {
    const Instalacao inst(int(estado.range(0)));
    for (auto _ : estado)
        benchmark::DoNotOptimize(RegistroConexoes::CarregarConexoes(inst.pasta, false).selecionado);
}

// The whole switch as the window makes it: mark, reload with the mark, rewrite dbExpress.
void BM_TrocaServidor(benchmark::State& estado) {
    const Instalacao inst(int(estado.range(0)));
    auto lista = RegistroConexoes::CarregarConexoes(inst.pasta, true);
    int i = 0;
    for (auto _ : estado) {
        const QString alvo = lista.espelho.at(i++ % lista.espelho.size());
        RegistroConexoes::MudaConexaoAtiva(inst.pasta, alvo, lista.espelho);
        lista = RegistroConexoes::CarregarConexoes(inst.pasta, true);
        RegistroConexoes::AlteraDBXConnection(inst.pasta, QStringLiteral("EMPRESA"),
                                              lista.apelidos.at(lista.selecionado));
    }
}

} // namespace

BENCHMARK(BM_CarregarConexoes)->Arg(20)->Arg(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CarregarSemMarca)->Arg(20)->Arg(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TrocaServidor)->Arg(20)->Arg(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
