// The connection registry at scale: the file work alone (RegistroConexoes) and the main
// window's operations with its two server lists (TFrmPrincipal on the offscreen platform),
// on registries of 20 to 100,000 servers held in a real file in a temporary folder.
#include "common/Texto.h"
#include "principal/Principal.h"
#include "registro/RegistroConexoes.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

// Sections in a shuffled order (the sort has real work to do) with names of mixed letter case
// and accents, 4 keys each as the program writes them; the alphabetically last server is the
// active one (the longest search for the mark).
struct Instalacao {
    QTemporaryDir raiz;
    QString pasta;
    QString programa;

    explicit Instalacao(int servidores) {
        pasta = raiz.path() + QStringLiteral("/EMPRESA/");
        programa = pasta + QStringLiteral("Gerenciador");
        QDir().mkpath(pasta);
        QByteArray conexoes;
        const int passo = 7919; // prime: i * passo mod N visits every index once
        for (int j = 0; j < servidores; ++j) {
            const int i = int((qint64(j) * passo) % servidores);
            const QString nome = (i % 3 == 0   ? QStringLiteral("Filial %1 São José")
                                  : i % 3 == 1 ? QStringLiteral("SERVIDOR %1")
                                               : QStringLiteral("ágil %1"))
                                     .arg(i, 6, 10, QLatin1Char('0'));
            conexoes +=
                ParaWindows1252(QStringLiteral("[%1]\r\nServidor=10.%2.%3.%4\r\nTipo=Linux\r\n"
                                               "Aplicação=\\\\SRV%5\\VELTO\r\nStatus=I\r\n\r\n")
                                    .arg(nome)
                                    .arg(i / 65536)
                                    .arg(i / 256 % 256)
                                    .arg(i % 256)
                                    .arg(i));
        }
        Grava(QStringLiteral("CONEXOES.INI"), conexoes);
        Grava(QStringLiteral("DBXCONNECTIONS.INI"),
              "[EMPRESA]\r\nDriverName=Interbase\r\nDatabase=x\r\nUser_Name=SYSDBA\r\n");
        // The last one in list order becomes the active one.
        const auto lista = RegistroConexoes::CarregarConexoes(pasta, false);
        if (!lista.apelidos.isEmpty())
            RegistroConexoes::MudaConexaoAtiva(pasta, lista.apelidos.last(), {});
    }
    void Grava(const QString& nome, const QByteArray& bytes) const {
        QFile f(pasta + nome);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            std::abort();
    }
};

// ---- the file work alone ------------------------------------------------------------------

void BM_CarregarConexoes(benchmark::State& estado) {
    const Instalacao inst(int(estado.range(0)));
    for (auto _ : estado) {
        const auto lista = RegistroConexoes::CarregarConexoes(inst.pasta, true);
        if (lista.selecionado != int(estado.range(0)) - 1)
            estado.SkipWithError("marca errada");
    }
}

// The load the connection editor makes (no active-mark search): reading, sorting, mirroring.
void BM_CarregarSemMarca(benchmark::State& estado) {
    const Instalacao inst(int(estado.range(0)));
    for (auto _ : estado)
        benchmark::DoNotOptimize(RegistroConexoes::CarregarConexoes(inst.pasta, false).selecionado);
}

// The whole switch with no widgets: mark, reload with the mark, rewrite dbExpress.
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

// ---- the main window: the same work plus filling its two combo boxes ----------------------

struct Janela {
    Instalacao inst;
    std::unique_ptr<TFrmPrincipal> janela;

    explicit Janela(int servidores) : inst(servidores) {
        janela = std::make_unique<TFrmPrincipal>(inst.programa);
        Carrega();
    }
    // What the window does on show and after every change.
    void Carrega() {
        janela->CarregarConexoes(janela->CbboxServidor(), janela->FltCbxApelidoServidor(), true);
    }
};

void BM_JanelaCarrega(benchmark::State& estado) {
    Janela j(int(estado.range(0)));
    for (auto _ : estado) {
        j.Carrega();
        if (j.janela->FltCbxApelidoServidor()->currentIndex() != int(estado.range(0)) - 1)
            estado.SkipWithError("marca errada");
    }
}

// A choice in the visible selector: MudaConexaoAtiva marks it, reloads the lists and
// rewrites dbExpress (two atomic replaces).
void BM_JanelaTroca(benchmark::State& estado) {
    Janela j(int(estado.range(0)));
    const int n = j.janela->CbboxServidor()->count();
    int i = 0;
    for (auto _ : estado) {
        i = (i + 7) % n;
        if (!j.janela->MudaConexaoAtiva(j.janela->CbboxServidor()->itemText(i)) ||
            j.janela->CbboxServidor()->currentIndex() != i)
            estado.SkipWithError("troca falhou");
    }
}

// A new server saved by the connection editor, then the reload (the new one is taken out
// again with the clock stopped).
void BM_JanelaInclui(benchmark::State& estado) {
    Janela j(int(estado.range(0)));
    const QString apelido = QStringLiteral("Novo servidor");
    for (auto _ : estado) {
        j.janela->IncluiConexao(apelido, QStringLiteral("10.9.9.9"), QStringLiteral("Windows"),
                                QStringLiteral("\\\\NOVO\\VELTO"), QStringLiteral("I"));
        estado.PauseTiming();
        if (j.janela->CbboxServidor()->count() != int(estado.range(0)) + 1)
            estado.SkipWithError("inclusão falhou");
        RegistroConexoes::ExcluiConexao(j.inst.pasta, apelido, false);
        estado.ResumeTiming();
    }
}

// A server removed, then the reload (it is put back with the clock stopped).
void BM_JanelaExclui(benchmark::State& estado) {
    Janela j(int(estado.range(0)));
    const QString apelido = QStringLiteral("Novo servidor");
    for (auto _ : estado) {
        estado.PauseTiming();
        RegistroConexoes::IncluiConexao(j.inst.pasta, apelido, QStringLiteral("10.9.9.9"),
                                        QStringLiteral("Windows"),
                                        QStringLiteral("\\\\NOVO\\VELTO"), QStringLiteral("I"));
        estado.ResumeTiming();
        j.janela->ExcluiConexao(apelido, false);
        if (j.janela->CbboxServidor()->count() != int(estado.range(0)))
            estado.SkipWithError("exclusão falhou");
    }
}

} // namespace

BENCHMARK(BM_CarregarConexoes)
    ->Arg(20)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CarregarSemMarca)
    ->Arg(20)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TrocaServidor)
    ->Arg(20)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JanelaCarrega)
    ->Arg(20)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JanelaTroca)
    ->Arg(20)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JanelaInclui)
    ->Arg(20)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JanelaExclui)
    ->Arg(20)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
