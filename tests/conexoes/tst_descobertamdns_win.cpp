// The Windows mDNS source against a dnsapi of the test's own (Wine's has no DnsServiceBrowse),
// which calls back from threads of its own as dnsapi does: what the source makes of the
// records, its bounds, and that it ends cleanly whatever dnsapi does.
#include "conexoes/DescobertaMdns.h"
#include "conexoes/NavegadorRede.h"

#include <QNetworkInterface>
#include <QTest>
#include <QtEndian>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

// clang-format off
#include <windows.h>
#include <windns.h>
#include <tlhelp32.h>
// clang-format on

namespace {

constexpr DNS_STATUS kPendente = 9506; // DNS_REQUEST_PENDING

wchar_t* Copia(const QString& s) {
    auto* r = new wchar_t[s.size() + 1]{};
    s.toWCharArray(r);
    return r;
}

// The stand-in dnsapi: what it was asked, and what it answers (instance -> "host|ip|status",
// ip "-" for none; an instance not there is never answered, 200 ms after the question).
struct Falso {
    std::mutex trava;
    DNS_STATUS statusNavegacao = kPendente;
    std::vector<DNS_SERVICE_BROWSE_REQUEST> navegacoes;
    std::map<QString, QString> respostas;
    std::map<PVOID, bool> canceladas; // resolutions, by context
    int resolucoes = 0, abertas = 0, maisAbertas = 0, cancelamentos = 0, liberados = 0;
    std::vector<std::thread> threads;
} * g;

DNS_STATUS WINAPI Navega(PDNS_SERVICE_BROWSE_REQUEST pedido, PDNS_SERVICE_CANCEL) {
    const std::lock_guard<std::mutex> t(g->trava);
    g->navegacoes.push_back(*pedido);
    return g->statusNavegacao;
}
DNS_STATUS WINAPI Cancela(PDNS_SERVICE_CANCEL c) {
    const std::lock_guard<std::mutex> t(g->trava);
    ++g->cancelamentos;
    if (c->reserved && !std::exchange(g->canceladas[c->reserved], true))
        --g->abertas;
    return ERROR_SUCCESS;
}
DNS_STATUS WINAPI Resolve(PDNS_SERVICE_RESOLVE_REQUEST pedido, PDNS_SERVICE_CANCEL c) {
    const std::lock_guard<std::mutex> t(g->trava);
    ++g->resolucoes;
    g->maisAbertas = std::max(g->maisAbertas, ++g->abertas);
    c->reserved = pedido->pQueryContext;
    const auto r = g->respostas.find(QString::fromWCharArray(pedido->QueryName));
    if (r != g->respostas.end())
        g->threads.emplace_back([p = r->second.split(u'|'), pedido = *pedido] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            {
                const std::lock_guard<std::mutex> t(g->trava);
                if (std::exchange(g->canceladas[pedido.pQueryContext], true))
                    return;
                --g->abertas;
            }
            auto* i = new DNS_SERVICE_INSTANCE{};
            i->pszHostName = Copia(p[0]);
            if (p[1] != u"-")
                i->ip4Address = new IP4_ADDRESS(qToBigEndian(QHostAddress(p[1]).toIPv4Address()));
            pedido.pResolveCompletionCallback(p[2].toUInt(), pedido.pQueryContext, i);
        });
    return kPendente;
}
VOID WINAPI LiberaInstancia(PDNS_SERVICE_INSTANCE i) {
    delete[] i->pszHostName;
    delete i->ip4Address;
    delete i;
    const std::lock_guard<std::mutex> t(g->trava);
    ++g->liberados;
}
VOID WINAPI LiberaRegistros(PDNS_RECORD r, DNS_FREE_TYPE) {
    for (PDNS_RECORD proximo; r; r = proximo) {
        proximo = r->pNext;
        delete[] r->Data.PTR.pNameHost;
        delete r;
    }
    const std::lock_guard<std::mutex> t(g->trava);
    ++g->liberados;
}

// One call back of the first browse, from a thread of its own: "instance ttl" PTR records (a
// ttl of 0 says the instance is gone).
void Anuncia(const QStringList& registros) {
    const DNS_SERVICE_BROWSE_REQUEST pedido = g->navegacoes.at(0);
    PDNS_RECORD lista = nullptr;
    for (auto r = registros.crbegin(); r != registros.crend(); ++r) {
        lista = new DNS_RECORD{lista, nullptr, DNS_TYPE_PTR, 0, {}, r->section(u' ', 1).toUInt()};
        lista->Data.PTR.pNameHost = Copia(r->section(u' ', 0, 0));
    }
    std::thread([&] { pedido.pBrowseCallback(ERROR_SUCCESS, pedido.pQueryContext, lista); }).join();
}

int Threads() {
    int n = 0;
    const HANDLE foto = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 t{sizeof t};
    for (BOOL ok = Thread32First(foto, &t); ok; ok = Thread32Next(foto, &t))
        n += t.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(foto);
    return n;
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

QStringList g_registro; // the sources' log lines
void Registra(QtMsgType, const QMessageLogContext&, const QString& texto) {
    static std::mutex trava;
    const std::lock_guard<std::mutex> t(trava);
    g_registro.append(texto);
}

struct Fonte {
    NavegadorRede rede;
    std::unique_ptr<DescobertaMdns> mdns = std::make_unique<DescobertaMdns>(&rede);
    // The machines shown, as "group/name@address", sorted.
    QStringList Mostradas() const {
        QStringList r;
        for (const NavegadorRede::Maquina& m : rede.Maquinas())
            r.append(m.grupo + u'/' + m.nome + u'@' + rede.EnderecoConhecido(m.nome).toString());
        r.sort();
        return r;
    }
};

} // namespace

class TstDescobertaMdns : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        g = new Falso;
        const auto f = [](auto p) { return reinterpret_cast<DescobertaMdns::Funcoes::Funcao>(p); };
        DescobertaMdns::DefineFuncoes(DescobertaMdns::Funcoes{f(&Navega), f(&Cancela), f(&Resolve),
                                                              f(&Cancela), f(&LiberaInstancia),
                                                              f(&LiberaRegistros)});
    }
    void cleanup() {
        DescobertaMdns::DefineFuncoes(std::nullopt);
        QTRY_COMPARE(DescobertaMdns::ConsultasAbertas(), 0);
        for (std::thread& t : g->threads)
            t.join();
        delete g;
    }

    // Browse call backs in order (records split by ','), dnsapi's answers (NOSSO: this
    // machine's address), and the machines shown once all is said.
    void registros_data() {
        QTest::addColumn<QStringList>("chamadas");
        QTest::addColumn<QStringList>("respostas"); // "instance|host|ip|status"
        QTest::addColumn<QStringList>("mostradas");
        QTest::addColumn<int>("resolucoes");
        const QString b = u"maquina-b._smb._tcp.local"_qs;
        QTest::newRow("resolvida")
            << QStringList{b + u" 120"_qs} << QStringList{b + u"|maquina-b.local|NOSSO|0"_qs}
            << QStringList{"local/maquina-b@NOSSO"} << 1;
        QTest::newRow("sem IPv4") << QStringList{b + u" 120"_qs}
                                  << QStringList{b + u"|maquina-b.local.|-|0"_qs}
                                  << QStringList{"local/maquina-b@"} << 1;
        QTest::newRow("despedida")
            << QStringList{b + u" 120"_qs, b + u" 0"_qs}
            << QStringList{b + u"|maquina-b.local|-|0"_qs} << QStringList{} << 1;
        QTest::newRow("anunciada de novo: uma resolução")
            << QStringList{b + u" 120,"_qs + b + u" 120"_qs, b.toUpper() + u" 120"_qs}
            << QStringList{b + u"|maquina-b.local|-|0"_qs} << QStringList{"local/maquina-b@"} << 1;
        QTest::newRow("resolução falha")
            << QStringList{b + u" 120"_qs} << QStringList{b + u"|maquina-b.local|-|1460"_qs}
            << QStringList{} << 1;
        QTest::newRow("instância de 300 caracteres")
            << QStringList{QString(300, u'x') + u" 120"_qs} << QStringList{} << QStringList{} << 0;
        QStringList muitas, respostas, todas;
        for (int i = 0; i < 3 * DescobertaMdns::kResolvendo; ++i) {
            muitas.append(u"m%1._smb._tcp.local 120"_qs.arg(i));
            respostas.append(u"m%1._smb._tcp.local|m%1.local|-|0"_qs.arg(i));
            todas.append(u"local/m%1@"_qs.arg(i));
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
        if (respostas.join(u' ').contains(u"NOSSO"_qs) && Nosso().isEmpty())
            QSKIP("esta máquina não tem endereço IPv4 fora do laço");
        for (const QString& r : respostas.replaceInStrings(u"NOSSO"_qs, Nosso()))
            g->respostas[r.section(u'|', 0, 0)] = r.section(u'|', 1);
        Fonte f;
        QVERIFY(f.mdns->Inicia());
        QTRY_COMPARE(g->navegacoes.size(), std::size(DescobertaMdns::kTipos));
        QCOMPARE(QString::fromWCharArray(g->navegacoes[1].QueryName), u"_smb._tcp.local"_qs);
        for (const QString& c : chamadas) {
            Anuncia(c.split(u','));
            QTest::qWait(50); // the answers reach the source, and the list
            QTRY_COMPARE(g->abertas, 0);
            QTest::qWait(50);
        }
        QCOMPARE(g->resolucoes, resolucoes);
        QCOMPARE(f.Mostradas(), mostradas.replaceInStrings(u"NOSSO"_qs, Nosso()));
        QVERIFY(g->maisAbertas <= DescobertaMdns::kResolvendo);
        f.mdns.reset();
        QTRY_COMPARE(g->cancelamentos, int(std::size(DescobertaMdns::kTipos)));
    }

    // dnsapi that never calls back: a resolution is cancelled in time, the source ends at
    // once with every query cancelled and its thread gone, and a call back after the end is
    // dropped, what it brought given back.
    void nuncaResponde() {
        const int antes = Threads();
        Fonte f;
        QVERIFY(f.mdns->Inicia());
        QTRY_COMPARE(g->navegacoes.size(), std::size(DescobertaMdns::kTipos));
        Anuncia({"muda._smb._tcp.local 120"});
        QTRY_COMPARE_WITH_TIMEOUT(g->cancelamentos, 1, DescobertaMdns::kTempoResolucao + 3000);
        QCOMPARE(g->resolucoes, 1);
        f.mdns.reset();
        QTRY_COMPARE(DescobertaMdns::ConsultasAbertas(), 0);
        QTRY_COMPARE(Threads(), antes);
        Anuncia({"tarde._smb._tcp.local 120"});
        QCOMPARE(g->liberados, 2);
        QCOMPARE(g->resolucoes, 1);
        QCOMPARE(f.rede.Maquinas().size(), 0);
    }

    // Refused by dnsapi, or dnsapi without the functions (older Windows, Wine): said once,
    // nothing left open, no source.
    void semNavegacao() {
        g->statusNavegacao = ERROR_CALL_NOT_IMPLEMENTED;
        const QtMessageHandler anterior = qInstallMessageHandler(Registra);
        {
            Fonte f;
            QVERIFY(f.mdns->Inicia());
            QTRY_COMPARE(g->navegacoes.size(), std::size(DescobertaMdns::kTipos));
        }
        QTRY_COMPARE(DescobertaMdns::ConsultasAbertas(), 0);
        QCOMPARE(g->cancelamentos, 0); // nothing that never ran is cancelled
        const HMODULE dnsapi = LoadLibraryW(L"dnsapi.dll");
        const bool tem = dnsapi && GetProcAddress(dnsapi, "DnsServiceBrowse");
        DescobertaMdns::DefineFuncoes(std::nullopt);
        Fonte uma, outra; // never browsing: this dnsapi has no DnsServiceBrowse
        const bool iniciou = !tem && (uma.mdns->Inicia() || outra.mdns->Inicia());
        qInstallMessageHandler(anterior);
        QVERIFY(!iniciou);
        QCOMPARE(g_registro.filter(u"refused"_qs).size(), 2);
        QCOMPARE(g_registro.filter(u"no mDNS browsing"_qs).size(), tem ? 0 : 1);
    }
};

QTEST_GUILESS_MAIN(TstDescobertaMdns)
#include "tst_descobertamdns_win.moc"
