// The database check of the ping form against the test server (scripts/servicos/firebird
// start): AnexaBanco, the worker's whole call (attach, version, detach), the process's first
// call apart (it also starts the client's plugins). bench/banco.sh makes the database, names it
// in GERENCIADOR_BANCO_BENCH and runs isql-fb against it in the same run.
// Figures: docs/PERFORMANCE.md.

#include "common/ClienteFirebird.h"
#include "conexoes/VerificaBanco.h"

#include <benchmark/benchmark.h>

namespace {

// Each iteration: one whole AnexaBanco; the counter "anexo_ms" is the attach alone, as the form
// shows it.
void BM_AnexaBanco(benchmark::State& estado) {
    const QString caminho = qEnvironmentVariable("GERENCIADOR_BANCO_BENCH");
    if (caminho.isEmpty()) {
        estado.SkipWithError("GERENCIADOR_BANCO_BENCH vazio: rode bench/banco.sh");
        return;
    }
    const BancoDbx banco{u"127.0.0.1:"_qs + caminho, u"SYSDBA"_qs, u"plumbvext"_qs};
    double anexo = 0;
    for (auto _ : estado) {
        const ResultadoBanco r = AnexaBanco(banco, NomeBibliotecaClienteFirebird(), 5);
        if (r.causa != CausaBanco::Conectado) {
            estado.SkipWithError(qPrintable(FormataLinhasBanco(r, banco, {}).join(u' ')));
            return;
        }
        anexo += double(r.ms);
    }
    estado.counters["anexo_ms"] = benchmark::Counter(anexo, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_AnexaBanco)->Name("BM_PrimeiraChamada")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnexaBanco)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
