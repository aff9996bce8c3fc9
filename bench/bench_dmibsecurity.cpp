// Cost of creating the suite's database user: one whole CriaUsuarioVELTO against the test
// server (scripts/servicos/firebird start) when VELTO already exists, the same call with no
// server listening, and reading a long list of users. Figures: docs/PERFORMANCE.md.

#include "common/Mensagem.h"
#include "menu/DMIBSecurity.h"
#include "menu/ServicoSeguranca.h"
#include "menu/ServicosFirebird.h"

#include <QProcess>
#include <QTcpServer>
#include <benchmark/benchmark.h>

namespace {

int caixas = 0;

void SemCaixas() {
    DefineRespondeMensagem([](const PedidoMensagem&) {
        ++caixas;
        return RespostaMensagem::Ok;
    });
}

bool Fbsvcmgr(const QStringList& argumentos) {
    QProcess p;
    p.start(QStringLiteral("fbsvcmgr"),
            QStringList{"127.0.0.1:service_mgr", "user", "SYSDBA", "password", "plumbvext"} +
                argumentos);
    return p.waitForFinished(30000) && p.exitCode() == 0;
}

quint16 PortaLivre() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

// No server listening. Registered twice: the first run, a single call, is the process's first
// call and also loads the client library; the second measures later calls.
void BM_SemServidor(benchmark::State& estado) {
    SemCaixas();
    const quint16 porta = PortaLivre();
    for (auto _ : estado) {
        TFDMIBSecurity modulo;
        modulo.IBSecurityService->NomeServidor = QStringLiteral("127.0.0.1/%1").arg(porta);
        modulo.CriaUsuarioVELTO();
    }
}
BENCHMARK(BM_SemServidor)
    ->Name("BM_PrimeiraChamada_SemServidor")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Boxes answered in code, and the test server up (else the benchmark is skipped, saying why).
bool PreparaComServidor(benchmark::State& estado) {
    SemCaixas();
    if (Fbsvcmgr({"info_server_version"}))
        return true;
    estado.SkipWithError("servidor Firebird de testes fora do ar");
    return false;
}

// VELTO missing: attach, list, add, detach (the user is removed between calls, untimed).
void BM_CriaUsuarioVELTO_Novo(benchmark::State& estado) {
    if (!PreparaComServidor(estado))
        return;
    for (auto _ : estado) {
        TFDMIBSecurity modulo;
        modulo.CriaUsuarioVELTO();
        estado.PauseTiming();
        Fbsvcmgr({"action_delete_user", "sec_username", "VELTO"});
        estado.ResumeTiming();
    }
}
BENCHMARK(BM_CriaUsuarioVELTO_Novo)->Iterations(50)->Unit(benchmark::kMillisecond);

void BM_CriaUsuarioVELTO_Existente(benchmark::State& estado) {
    if (!PreparaComServidor(estado))
        return;
    const bool criado =
        Fbsvcmgr({"action_add_user", "sec_username", "VELTO", "sec_password", "dravonel"});
    for (auto _ : estado) {
        TFDMIBSecurity modulo;
        modulo.CriaUsuarioVELTO();
    }
    if (criado)
        Fbsvcmgr({"action_delete_user", "sec_username", "VELTO"});
}
BENCHMARK(BM_CriaUsuarioVELTO_Existente)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_SemServidor)->Name("BM_CriaUsuarioVELTO_SemServidor")->Unit(benchmark::kMillisecond);

void BM_LeListaDeUsuarios(benchmark::State& estado) {
    // n records of a typical size, in answers of 16 KiB as the client asks for them.
    QByteArray dados;
    for (int i = 0; i < estado.range(0); ++i) {
        const QByteArray nome = "USUARIO" + QByteArray::number(i);
        dados += char(7) + QByteArray(1, char(nome.size())) + '\0' + nome;
        dados += QByteArray::fromHex("0a0500") + "Primo" + QByteArray::fromHex("0b0000") +
                 QByteArray::fromHex("0c0600") + "Ultimo";
        dados += QByteArray::fromHex("05 00000000 06 00000000");
    }
    QList<QByteArray> respostas;
    for (qsizetype i = 0; i < dados.size(); i += 16000) {
        const QByteArray pedaco = dados.mid(i, 16000);
        respostas << char(0x44) + QByteArray(1, char(pedaco.size() & 0xFF)) +
                         QByteArray(1, char(pedaco.size() >> 8)) + pedaco + char(1);
    }
    for (auto _ : estado) {
        QByteArray juntos;
        for (const QByteArray& r : respostas)
            LeRespostaUsuarios(r, juntos);
        benchmark::DoNotOptimize(InterpretaUsuarios(juntos));
    }
    estado.SetItemsProcessed(estado.iterations() * estado.range(0));
}
BENCHMARK(BM_LeListaDeUsuarios)->Arg(10)->Arg(10000);

} // namespace

BENCHMARK_MAIN();
