// Creation of the main window for a full company installation: 12 module files and a
// VELTO.INI read once per installed module.
#include "principal/Principal.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

QString Instalacao(QTemporaryDir& raiz) {
    const QString pasta = raiz.path() + QStringLiteral("/EMPRESA");
    QDir().mkpath(pasta);
    QByteArray velto = "[BOT\xD5"
                       "ES]\r\n";
    for (int n = 1; n <= 12; ++n) {
        const QString nome = QStringLiteral("VELTOM%1.EXE").arg(n, 2, 10, QLatin1Char('0'));
        QFile f(pasta + u'/' + nome);
        if (f.open(QIODevice::WriteOnly))
            f.write("MZ");
        velto += nome.toLatin1() + (n == 5 ? "=N\xE3o\r\n" : "=Sim\r\n");
    }
    QFile f(pasta + QStringLiteral("/VELTO.INI"));
    if (f.open(QIODevice::WriteOnly))
        f.write(velto);
    return pasta + QStringLiteral("/Gerenciador");
}

void BM_CriaJanelaPrincipal(benchmark::State& estado) {
    QTemporaryDir raiz;
    const QString programa = Instalacao(raiz);
    for (auto _ : estado) {
        TFrmPrincipal janela(programa);
        benchmark::DoNotOptimize(janela.height());
    }
}
BENCHMARK(BM_CriaJanelaPrincipal)->Unit(benchmark::kMicrosecond);

void BM_VersaoDoArquivo(benchmark::State& estado) {
    for (auto _ : estado)
        benchmark::DoNotOptimize(TFrmPrincipal::GetBuildInfo());
}
BENCHMARK(BM_VersaoDoArquivo)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
