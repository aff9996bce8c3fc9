// The Windows mDNS source against a dnsapi of the test's own: Wine has no DnsServiceBrowse, so
// these functions stand in for it, calling back from threads of their own as dnsapi does. They
// check what the source makes of the records, its bounds, and that it ends cleanly whatever
// dnsapi does (never calls back, calls back late). The real dnsapi is only asked whether it has
// the functions.
#include "conexoes/DescobertaMdns.h"
#include "conexoes/NavegadorRede.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QTest>
#include <QtEndian>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// clang-format off
#include <windows.h>
#include <windns.h>
#include <tlhelp32.h>
// clang-format on

namespace {

constexpr DNS_STATUS kPendente = 9506; // DNS_REQUEST_PENDING

wchar_t* Copia(const std::wstring& s) {
    auto* r = new wchar_t[s.size() + 1];
    wcscpy(r, s.c_str());
    return r;
}

// The stand-in dnsapi: what it was asked, and what it answers.
struct Falso {
    std::mutex trava;
    DNS_STATUS statusNavegacao = kPendente;
    std::vector<DNS_SERVICE_BROWSE_REQUEST> navegacoes;
    // Instance -> "host|ip|status" ("-" for no IPv4); an instance not here is never answered.
    std::map<std::wstring, QString> respostas;
    int resolucoes = 0;
    int abertas = 0; // resolutions asked, neither answered nor cancelled
    int maisAbertas = 0;
    int cancelaNavegacao = 0;
    int cancelaResolucao = 0;
    int liberados = 0; // records and instances given back
    std::vector<std::thread> threads;
    std::map<PVOID, bool> canceladas;

    void Junta() {
        std::vector<std::thread> t;
        {
            const std::lock_guard<std::mutex> g(trava);
            t.swap(threads);
        }
        for (std::thread& x : t)
            x.join();
    }
};
Falso* g_falso = nullptr;

DNS_STATUS WINAPI Navega(PDNS_SERVICE_BROWSE_REQUEST pedido, PDNS_SERVICE_CANCEL) {
    const std::lock_guard<std::mutex> g(g_falso->trava);
    if (g_falso->statusNavegacao == kPendente)
        g_falso->navegacoes.push_back(*pedido);
    return g_falso->statusNavegacao;
}
DNS_STATUS WINAPI CancelaNavegacao(PDNS_SERVICE_CANCEL) {
    const std::lock_guard<std::mutex> g(g_falso->trava);
    ++g_falso->cancelaNavegacao;
    return ERROR_SUCCESS;
}
DNS_STATUS WINAPI Resolve(PDNS_SERVICE_RESOLVE_REQUEST pedido, PDNS_SERVICE_CANCEL cancela) {
    const std::lock_guard<std::mutex> g(g_falso->trava);
    ++g_falso->resolucoes;
    g_falso->maisAbertas = std::max(g_falso->maisAbertas, ++g_falso->abertas);
    cancela->reserved = pedido->pQueryContext;
    const auto r = g_falso->respostas.find(pedido->QueryName);
    if (r == g_falso->respostas.end())
        return kPendente;
    const QStringList partes = r->second.split(u'|');
    const auto chamada = pedido->pResolveCompletionCallback;
    const PVOID contexto = pedido->pQueryContext;
    g_falso->threads.emplace_back([partes, chamada, contexto] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        auto* i = new DNS_SERVICE_INSTANCE{};
        i->pszHostName = Copia(partes[0].toStdWString());
        if (partes[1] != u"-")
            i->ip4Address = new IP4_ADDRESS(qToBigEndian(QHostAddress(partes[1]).toIPv4Address()));
        {
            const std::lock_guard<std::mutex> g(g_falso->trava);
            if (g_falso->canceladas[contexto])
                return;
            --g_falso->abertas;
        }
        chamada(DWORD(partes[2].toUInt()), contexto, i);
    });
    return kPendente;
}
DNS_STATUS WINAPI CancelaResolucao(PDNS_SERVICE_CANCEL cancela) {
    const std::lock_guard<std::mutex> g(g_falso->trava);
    ++g_falso->cancelaResolucao;
    if (!g_falso->canceladas[cancela->reserved])
        --g_falso->abertas;
    g_falso->canceladas[cancela->reserved] = true;
    return ERROR_SUCCESS;
}
VOID WINAPI LiberaInstancia(PDNS_SERVICE_INSTANCE i) {
    delete[] i->pszHostName;
    delete i->ip4Address;
    delete i;
    const std::lock_guard<std::mutex> g(g_falso->trava);
    ++g_falso->liberados;
}
VOID WINAPI LiberaRegistros(PDNS_RECORD r, DNS_FREE_TYPE) {
    while (r) {
        PDNS_RECORD proximo = r->pNext;
        delete[] r->pName;
        delete[] r->Data.PTR.pNameHost;
        delete r;
        r = proximo;
    }
    const std::lock_guard<std::mutex> g(g_falso->trava);
    ++g_falso->liberados;
}

template <typename F> DescobertaMdns::Funcoes::Funcao Funcao(F f) {
    return reinterpret_cast<DescobertaMdns::Funcoes::Funcao>(f);
}

// A browse call back of the first browse, from a thread of its own: "instance ttl" records
// (a ttl of 0 says the instance is gone; "A instance" is an address record, no instance).
void Anuncia(const QStringList& registros) {
    DNS_SERVICE_BROWSE_REQUEST pedido;
    {
        const std::lock_guard<std::mutex> g(g_falso->trava);
        pedido = g_falso->navegacoes.at(0);
    }
    std::thread([&] {
        PDNS_RECORD lista = nullptr;
        for (auto r = registros.crbegin(); r != registros.crend(); ++r) {
            const QStringList partes = r->split(u' ');
            auto* registro = new DNS_RECORD{};
            registro->pNext = lista;
            registro->pName = Copia(L"_smb._tcp.local");
            registro->wType = partes[0] == u"A" ? DNS_TYPE_A : DNS_TYPE_PTR;
            registro->dwTtl = partes.value(1).toUInt();
            if (registro->wType == DNS_TYPE_PTR)
                registro->Data.PTR.pNameHost = Copia(partes[0].toStdWString());
            lista = registro;
        }
        pedido.pBrowseCallback(ERROR_SUCCESS, pedido.pQueryContext, lista);
    }).join();
}

int Threads() {
    int n = 0;
    const HANDLE foto = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 t{};
    t.dwSize = sizeof t;
    for (BOOL ok = Thread32First(foto, &t); ok; ok = Thread32Next(foto, &t))
        n += t.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(foto);
    return n;
}

// The machines shown, as "group/name@address", sorted.
QStringList Mostradas(const NavegadorRede& rede) {
    QStringList r;
    for (const NavegadorRede::Maquina& m : rede.Maquinas()) {
        const QHostAddress e = rede.EnderecoConhecido(m.nome);
        r.append(m.grupo + u'/' + m.nome + u'@' + (e.isNull() ? u"-"_qs : e.toString()));
    }
    r.sort();
    return r;
}

std::mutex g_travaRegistro;
QStringList g_registro; // log lines of the sources, from any thread
void Registra(QtMsgType, const QMessageLogContext& contexto, const QString& texto) {
    const std::lock_guard<std::mutex> g(g_travaRegistro);
    if (QLatin1String(contexto.category).startsWith(QLatin1String("gerenciador.rede")))
        g_registro.append(texto);
}
QStringList Registro() {
    const std::lock_guard<std::mutex> g(g_travaRegistro);
    return g_registro;
}

// This machine's own IPv4 address: a host of its networks that a prober's try never leaves.
QString Nosso() {
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces())
        for (const QNetworkAddressEntry& a : i.addressEntries())
            if ((i.flags() & QNetworkInterface::IsUp) &&
                !(i.flags() & QNetworkInterface::IsLoopBack) &&
                a.ip().protocol() == QAbstractSocket::IPv4Protocol)
                return a.ip().toString();
    return {};
}

} // namespace

class TstDescobertaMdns : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        g_falso = new Falso;
        g_registro.clear();
        DescobertaMdns::DefineFuncoes(DescobertaMdns::Funcoes{
            Funcao(&Navega), Funcao(&CancelaNavegacao), Funcao(&Resolve), Funcao(&CancelaResolucao),
            Funcao(&LiberaInstancia), Funcao(&LiberaRegistros)});
    }
    void cleanup() {
        DescobertaMdns::DefineFuncoes(std::nullopt);
        QTRY_COMPARE(DescobertaMdns::ConsultasAbertas(), 0);
        g_falso->Junta();
        delete g_falso;
        g_falso = nullptr;
    }

    // Browse call backs in order (one per entry, records split by ','), dnsapi's answers, and
    // the machines shown once all is said. "NOSSO" is this machine's own address: a host of its
    // networks whose Firebird port the prober may try without a packet leaving it.
    void registros_data() {
        QTest::addColumn<QStringList>("chamadas");
        QTest::addColumn<QStringList>("respostas"); // "instance|host|ip|status"
        QTest::addColumn<QStringList>("mostradas");
        QTest::addColumn<int>("resolucoes");
        const QString b = u"maquina-b._smb._tcp.local"_qs;
        const QString nossa = u"NOSSO"_qs;
        QTest::newRow("anunciada e resolvida")
            << QStringList{b + u" 120"_qs}
            << QStringList{b + u"|maquina-b.local|"_qs + nossa + u"|0"_qs}
            << QStringList{u"local/maquina-b@"_qs + nossa} << 1;
        QTest::newRow("sem IPv4") << QStringList{b + u" 120"_qs}
                                  << QStringList{b + u"|maquina-b.local.|-|0"_qs}
                                  << QStringList{"local/maquina-b@-"} << 1;
        QTest::newRow("despedida")
            << QStringList{b + u" 120"_qs, b + u" 0"_qs}
            << QStringList{b + u"|maquina-b.local|-|0"_qs} << QStringList{} << 1;
        QTest::newRow("anunciada de novo: uma resolução")
            << QStringList{b + u" 120,"_qs + b + u" 120"_qs, b.toUpper() + u" 120"_qs}
            << QStringList{b + u"|maquina-b.local|-|0"_qs} << QStringList{"local/maquina-b@-"} << 1;
        QTest::newRow("resolução falha")
            << QStringList{b + u" 120"_qs} << QStringList{b + u"|maquina-b.local|-|1460"_qs}
            << QStringList{} << 1;
        QTest::newRow("host sem nome") << QStringList{b + u" 120"_qs}
                                       << QStringList{b + u"|.local|-|0"_qs} << QStringList{} << 1;
        QTest::newRow("só registros de endereço")
            << QStringList{"A 120"} << QStringList{} << QStringList{} << 0;
        QTest::newRow("instância de 300 caracteres")
            << QStringList{QString(300, u'x') + u" 120"_qs} << QStringList{} << QStringList{} << 0;
        QStringList muitas;
        QStringList respostas;
        QStringList todas;
        for (int i = 0; i < 3 * DescobertaMdns::kResolvendo; ++i) {
            const QString nome = u"m%1"_qs.arg(i);
            muitas.append(nome + u"._smb._tcp.local 120"_qs);
            respostas.append(nome + u"._smb._tcp.local|"_qs + nome + u".local|-|0"_qs);
            todas.append(u"local/"_qs + nome + u"@-"_qs);
        }
        todas.sort();
        QTest::newRow("mais que as resoluções de uma vez")
            << QStringList{muitas.join(u',')} << respostas << todas << int(muitas.size());
    }
    void registros() {
        QFETCH(QStringList, chamadas);
        QFETCH(QStringList, respostas);
        QFETCH(QStringList, mostradas);
        QFETCH(int, resolucoes);
        if (respostas.join(u' ').contains(u"NOSSO"_qs)) {
            if (Nosso().isEmpty())
                QSKIP("esta máquina não tem endereço IPv4 fora do laço");
            respostas.replaceInStrings(u"NOSSO"_qs, Nosso());
            mostradas.replaceInStrings(u"NOSSO"_qs, Nosso());
        }
        for (const QString& r : respostas)
            g_falso->respostas[r.section(u'|', 0, 0).toStdWString()] = r.section(u'|', 1);
        NavegadorRede rede;
        auto mdns = std::make_unique<DescobertaMdns>(&rede);
        QVERIFY(mdns->Inicia());
        QTRY_COMPARE(g_falso->navegacoes.size(), std::size(DescobertaMdns::kTipos));
        QCOMPARE(QString::fromWCharArray(g_falso->navegacoes[1].QueryName), u"_smb._tcp.local"_qs);
        for (const QString& c : chamadas) {
            Anuncia(c.split(u','));
            QTest::qWait(50); // dnsapi answers, and the answers reach the list
            QTRY_COMPARE(g_falso->abertas, 0);
            QTest::qWait(50);
        }
        QTRY_COMPARE(g_falso->resolucoes, resolucoes);
        QCOMPARE(Mostradas(rede), mostradas);
        QVERIFY(g_falso->maisAbertas <= DescobertaMdns::kResolvendo);
        mdns.reset();
        QTRY_COMPARE(g_falso->cancelaNavegacao, int(std::size(DescobertaMdns::kTipos)));
    }

    // dnsapi that never calls back (Wine's way, where it has the functions at all): the source
    // ends at once, its thread too, every query cancelled; a resolution that never answers is
    // cancelled in time. A call back after the end is dropped and what it brought given back.
    void nuncaResponde() {
        const int antes = Threads();
        NavegadorRede rede;
        auto mdns = std::make_unique<DescobertaMdns>(&rede);
        QVERIFY(mdns->Inicia());
        QTRY_COMPARE(g_falso->navegacoes.size(), std::size(DescobertaMdns::kTipos));
        Anuncia({"muda._smb._tcp.local 120"});
        QTRY_COMPARE(g_falso->resolucoes, 1);
        QTRY_COMPARE_WITH_TIMEOUT(g_falso->cancelaResolucao, 1,
                                  DescobertaMdns::kTempoResolucao + 3000);
        QCOMPARE(DescobertaMdns::ConsultasAbertas(), 2);
        mdns.reset();
        QTRY_COMPARE(DescobertaMdns::ConsultasAbertas(), 0);
        QTRY_COMPARE(Threads(), antes);
        const int liberados = g_falso->liberados;
        Anuncia({"tarde._smb._tcp.local 120"});
        QCOMPARE(g_falso->liberados, liberados + 1);
        QCOMPARE(g_falso->resolucoes, 1);
        QCOMPARE(rede.Maquinas().size(), 0);
    }

    // dnsapi refuses to browse: said once, nothing left open.
    void recusada() {
        g_falso->statusNavegacao = ERROR_CALL_NOT_IMPLEMENTED;
        const QtMessageHandler anterior = qInstallMessageHandler(Registra);
        NavegadorRede rede;
        {
            DescobertaMdns mdns(&rede);
            QVERIFY(mdns.Inicia());
            QTRY_COMPARE(Registro().size(), int(std::size(DescobertaMdns::kTipos)));
        }
        qInstallMessageHandler(anterior);
        QVERIFY(Registro().at(0).contains(u"refused"_qs));
        QCOMPARE(DescobertaMdns::ConsultasAbertas(), 0);
    }

    // Without the functions (older Windows; Wine): no source, said once per process.
    void semFuncoes() {
        const HMODULE dnsapi = LoadLibraryW(L"dnsapi.dll");
        if (dnsapi && GetProcAddress(dnsapi, "DnsServiceBrowse"))
            QSKIP("este dnsapi tem DnsServiceBrowse: o teste não navega a rede real");
        DescobertaMdns::DefineFuncoes(std::nullopt);
        const QtMessageHandler anterior = qInstallMessageHandler(Registra);
        NavegadorRede rede;
        DescobertaMdns uma(&rede);
        DescobertaMdns outra(&rede);
        const bool iniciou = uma.Inicia() || outra.Inicia();
        qInstallMessageHandler(anterior);
        QVERIFY(!iniciou);
        QCOMPARE(Registro().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TstDescobertaMdns)
#include "tst_descobertamdns_win.moc"
