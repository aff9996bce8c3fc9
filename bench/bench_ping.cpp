// One ICMP echo attempt, end to end (name already dotted, socket opened and closed per attempt,
// as the ping form does it), on the loopback; and, given --silencioso=ADDRESS, how close the
// timeout comes to its 1000 ms over 10 attempts against a host that never answers.
// Run through bench_ping.sh, which provides the network namespace and the silent host.
#include "conexoes/EcoIcmp.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

void BM_EcoLoopback(benchmark::State& estado, Icmp::ModoSocket modo) {
    Icmp::DefineModoSocket(modo);
    std::uint16_t seq = Icmp::kSequenciaInicial;
    std::uint32_t maiorTempo = 0;
    std::int64_t abaixoDe1 = 0;
    for (auto _ : estado) {
        const auto r = Icmp::EnviaEco("127.0.0.1", Icmp::IdentificadorProcesso(), seq++, 1000);
        if (r.status != Icmp::StatusEco::Eco) {
            estado.SkipWithError("no echo reply");
            break;
        }
        maiorTempo = std::max(maiorTempo, r.tempoIdaVolta);
        abaixoDe1 += r.tempoIdaVolta == 0;
    }
    estado.counters["max_rtt_ms"] = maiorTempo;
    estado.counters["lt1ms_pct"] =
        estado.iterations() ? 100.0 * double(abaixoDe1) / double(estado.iterations()) : 0.0;
    Icmp::DefineModoSocket(Icmp::ModoSocket::Automatico);
}
BENCHMARK_CAPTURE(BM_EcoLoopback, datagrama, Icmp::ModoSocket::Datagrama)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EcoLoopback, bruto, Icmp::ModoSocket::Bruto)->Unit(benchmark::kMicrosecond);

void MedeTempoEsgotado(const std::string& host) {
    std::vector<double> paredes;
    std::vector<std::uint32_t> registrados;
    for (int i = 0; i < 10; ++i) {
        const auto inicio = std::chrono::steady_clock::now();
        const auto r = Icmp::EnviaEco(host, Icmp::IdentificadorProcesso(),
                                      static_cast<std::uint16_t>(i), 1000);
        const std::chrono::duration<double, std::milli> parede =
            std::chrono::steady_clock::now() - inicio;
        if (r.status != Icmp::StatusEco::TempoEsgotado) {
            std::printf("%s answered: not a silent host\n", host.c_str());
            return;
        }
        paredes.push_back(parede.count());
        registrados.push_back(r.tempoIdaVolta);
    }
    std::sort(paredes.begin(), paredes.end());
    std::sort(registrados.begin(), registrados.end());
    double soma = 0;
    for (double p : paredes)
        soma += p;
    std::printf("timeout of 1000 ms against %s, 10 attempts:\n", host.c_str());
    std::printf("  wall time per attempt: min %.2f  mean %.2f  max %.2f ms\n", paredes.front(),
                soma / paredes.size(), paredes.back());
    std::printf("  time in the record:    min %u  max %u ms\n", registrados.front(),
                registrados.back());
}

} // namespace

int main(int argc, char** argv) {
    std::string silencioso;
    std::vector<char*> resto;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--silencioso=", 13) == 0)
            silencioso = argv[i] + 13;
        else
            resto.push_back(argv[i]);
    }
    int n = static_cast<int>(resto.size());
    benchmark::Initialize(&n, resto.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!silencioso.empty())
        MedeTempoEsgotado(silencioso);
    return 0;
}
