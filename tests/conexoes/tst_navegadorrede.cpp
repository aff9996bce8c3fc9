// The network browser's platform-neutral parts: one machine per name across sources and
// interfaces, and the host section of a WS-Discovery metadata answer.
#include "conexoes/DescobertaWs.h"
#include "conexoes/NavegadorRede.h"
#include "conexoes/SondaServidores.h"

#include <QSignalSpy>
#include <QTest>
#include <algorithm>

namespace {

const char kMetadados[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
    "xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\" "
    "xmlns:wsdp=\"http://schemas.xmlsoap.org/ws/2006/02/devprof\" "
    "xmlns:wsx=\"http://schemas.xmlsoap.org/ws/2004/09/mex\" "
    "xmlns:p=\"http://schemas.microsoft.com/windows/pub/2005/07\"><soap:Body><wsx:Metadata>"
    "<wsx:MetadataSection><wsdp:ThisDevice><wsdp:FriendlyName>WSD Device x</wsdp:FriendlyName>"
    "</wsdp:ThisDevice></wsx:MetadataSection><wsx:MetadataSection><wsdp:Relationship>"
    "<wsdp:Host><wsdp:Types>pub:Computer</wsdp:Types>%1</wsdp:Host></wsdp:Relationship>"
    "</wsx:MetadataSection></wsx:Metadata></soap:Body></soap:Envelope>";

QByteArray Metadados(const QString& host) {
    return QString::fromLatin1(kMetadados).arg(host).toUtf8();
}

// A discovery message: `cabecalho` and `corpo` inside the SOAP header and body.
QByteArray Envelope(const QString& cabecalho, const QString& corpo) {
    return (u"<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://www.w3.org/2003/05/"
            "soap-envelope\" xmlns:a=\"urn:a\" xmlns:d=\"urn:d\"><s:Header>"_qs +
            cabecalho + u"</s:Header><s:Body>"_qs + corpo + u"</s:Body></s:Envelope>"_qs)
        .toUtf8();
}

// `n` elements nested around `dentro`.
QString Aninhado(int n, const QString& dentro) {
    return QString(u"<x>"_qs).repeated(n) + dentro + QString(u"</x>"_qs).repeated(n);
}

const QString kCabecalho = u"<a:Action>urn:acao</a:Action><a:MessageID>urn:id</a:MessageID>"_qs;
const QString kHello = u"<d:Hello><a:EndpointReference><a:Address>urn:uuid:1</a:Address>"
                       "</a:EndpointReference><d:Types>d:Device pub:Computer</d:Types>"
                       "<d:XAddrs>http://198.51.100.2:5357/1</d:XAddrs></d:Hello>"_qs;

// The machines shown, as "GROUP/name", sorted.
QStringList Mostradas(const NavegadorRede& n) {
    QStringList r;
    for (const NavegadorRede::Maquina& m : n.Maquinas())
        r.append(m.grupo + u'/' + m.nome);
    r.sort();
    return r;
}

QStringList g_registro; // log lines of the browser, while a test collects them

void Registra(QtMsgType, const QMessageLogContext& contexto, const QString& texto) {
    if (QLatin1String(contexto.category).startsWith(QLatin1String("gerenciador.rede")))
        g_registro.append(texto);
}

} // namespace

class TstNavegadorRede : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void computador_data() {
        QTest::addColumn<QByteArray>("metadados");
        QTest::addColumn<QString>("esperado"); // "GROUP/name", empty: none
        QTest::newRow("grupo de trabalho")
            << Metadados("<p:Computer>MAQUINA-W/Workgroup:ESCRITORIO</p:Computer>")
            << "ESCRITORIO/MAQUINA-W";
        QTest::newRow("domínio") << Metadados("<p:Computer>SRV/Domain:empresa.local</p:Computer>")
                                 << "empresa.local/SRV";
        QTest::newRow("fora de grupo")
            << Metadados("<p:Computer>PC1/NotJoined</p:Computer>") << "NotJoined/PC1";
        QTest::newRow("só o nome") << Metadados("<p:Computer>PC2</p:Computer>") << "WORKGROUP/PC2";
        QTest::newRow("sem nome") << Metadados("<p:Computer>/Workgroup:X</p:Computer>") << "";
        QTest::newRow("outro namespace")
            << QByteArray("<a xmlns:q=\"urn:x\"><q:Computer>A/Workgroup:B</q:Computer></a>") << "";
        QTest::newRow("impressora, sem Computer")
            << Metadados("<wsdp:ManufacturerUrl>x</wsdp:ManufacturerUrl>") << "";
        QTest::newRow("lixo") << QByteArray("\x01\xff<<<>>>", 9) << "";
        QTest::newRow("vazio") << QByteArray() << "";
    }
    void computador() {
        QFETCH(QByteArray, metadados);
        QFETCH(QString, esperado);
        const auto c = DescobertaWs::LeComputador(metadados);
        QCOMPARE(c ? c->grupo + u'/' + c->nome : QString(), esperado);
    }

    // A discovery message read in one pass: the fields by where they stand; nothing from what
    // nests deeper than a discovery message, however large.
    void mensagem_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("esperado"); // "action|id|endpoint|types|xaddrs"; empty: none
        const QString hello = u"urn:acao|urn:id|urn:uuid:1|d:Device pub:Computer|"
                              "http://198.51.100.2:5357/1"_qs;
        QTest::newRow("Hello") << Envelope(kCabecalho, kHello) << hello;
        QTest::newRow("endereço no cabeçalho não é o endpoint")
            << Envelope(kCabecalho + u"<a:ReplyTo><a:EndpointReference><a:Address>urn:outro"
                                     "</a:Address></a:EndpointReference></a:ReplyTo>"_qs,
                        kHello)
            << hello;
        QTest::newRow("ação fora do cabeçalho não conta")
            << Envelope({}, u"<a:Action>urn:acao</a:Action>"_qs + kHello) << "";
        QTest::newRow("Address fora de EndpointReference")
            << Envelope(kCabecalho, u"<a:Address>urn:solto</a:Address>"_qs) << "urn:acao|urn:id|||";
        QTest::newRow("corpo aninhado no limite")
            << Envelope(kCabecalho, Aninhado(27, kHello)) << hello;
        QTest::newRow("corpo aninhado além do limite")
            << Envelope(kCabecalho, Aninhado(28, kHello)) << "";
        QTest::newRow("16.000 níveis, 64 KB") << Envelope(kCabecalho, Aninhado(16000, {})) << "";
        QTest::newRow("XML partido") << Envelope(kCabecalho, kHello).chopped(3) << "";
        QTest::newRow("vazio") << QByteArray() << "";
    }
    void mensagem() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, esperado);
        const auto m = DescobertaWs::LeMensagem(bytes);
        const QString lido =
            m ? QStringList{m->acao, m->id, m->endpoint, m->tipos, m->xaddrs}.join(u'|')
              : QString();
        QCOMPARE(lido, esperado);
    }

    // Sightings in order ("+key name group source" or "-key" or "*prefix"; the source as
    // NavegadorRede::Fonte numbers it), and what is shown.
    void agregacao_data() {
        QTest::addColumn<QStringList>("passos");
        QTest::addColumn<QStringList>("mostradas");
        QTest::addColumn<int>("adicionadas");
        QTest::addColumn<int>("removidas");
        QTest::newRow("duas interfaces, uma máquina")
            << QStringList{"+a:1 pc local 0", "+a:2 pc local 0"} << QStringList{"local/pc"} << 1
            << 0;
        QTest::newRow("some com a última")
            << QStringList{"+a:1 pc local 0", "+a:2 pc local 0", "-a:1", "-a:2"} << QStringList{}
            << 1 << 1;
        QTest::newRow("grupo de trabalho vence o domínio mDNS, sem caixa no nome")
            << QStringList{"+m pc local 0", "+w PC ESCRITORIO 1"} << QStringList{"ESCRITORIO/PC"}
            << 2 << 1;
        QTest::newRow("volta ao mDNS quando o grupo some")
            << QStringList{"+m pc local 0", "+w PC ESCRITORIO 1", "-w"} << QStringList{"local/pc"}
            << 3 << 2;
        QTest::newRow("mesma chave, outro nome")
            << QStringList{"+k velho G 1", "+k novo G 1"} << QStringList{"G/novo"} << 2 << 1;
        QTest::newRow("mesma chave de novo: nada muda")
            << QStringList{"+k pc G 1", "+k pc G 1"} << QStringList{"G/pc"} << 1 << 0;
        QTest::newRow("prefixo leva as de uma fonte")
            << QStringList{"+wsd:x|eth0 A G 1", "+wsd:x|eth1 A G 1", "+mdns:1 b local 0", "*wsd:x|"}
            << QStringList{"local/b"} << 2 << 1;
        // On Windows the shell's group wins (its network folder: our own; its network list:
        // the machine's), whatever the case of the names and the order they come in.
        QTest::newRow("pasta de rede vence o grupo declarado")
            << QStringList{"+w maquina-w ESCRITORIO 1", "+p MAQUINA-W WORKGROUP 2"}
            << QStringList{"WORKGROUP/MAQUINA-W"} << 2 << 1;
        QTest::newRow("grupo declarado depois não muda a pasta de rede")
            << QStringList{"+p MAQUINA-W WORKGROUP 2", "+w maquina-w ESCRITORIO 1",
                           "+w maquina-w ESCRITORIO 1", "+m maquina-w local 0"}
            << QStringList{"WORKGROUP/MAQUINA-W"} << 1 << 0;
        QTest::newRow("lista da rede Windows vence a pasta")
            << QStringList{"+r PC DOMINIO 3", "+p PC WORKGROUP 2"} << QStringList{"DOMINIO/PC"} << 1
            << 0;
        QTest::newRow("sem a pasta, o grupo declarado")
            << QStringList{"+p PC WORKGROUP 2", "+w pc ESCRITORIO 1", "-p"}
            << QStringList{"ESCRITORIO/pc"} << 2 << 1;
        QTest::newRow("chave desconhecida e nome vazio")
            << QStringList{"-nada", "+k  G 1"} << QStringList{} << 0 << 0;
        // Only the newest sightings of a machine are kept: losing those loses it.
        QStringList muitas;
        for (int i = 0; i < NavegadorRede::kMaxAvistamentosPorMaquina + 4; ++i)
            muitas << u"+k%1 pc G 1"_qs.arg(i);
        for (int i = 4; i < NavegadorRede::kMaxAvistamentosPorMaquina + 4; ++i)
            muitas << u"-k%1"_qs.arg(i);
        QTest::newRow("só os avistamentos mais novos") << muitas << QStringList{} << 1 << 1;
    }
    void agregacao() {
        QFETCH(QStringList, passos);
        QFETCH(QStringList, mostradas);
        QFETCH(int, adicionadas);
        QFETCH(int, removidas);
        NavegadorRede n;
        QSignalSpy mais(&n, &NavegadorRede::MaquinaAdicionada);
        QSignalSpy menos(&n, &NavegadorRede::MaquinaRemovida);
        for (const QString& p : passos) {
            const QStringList partes = p.mid(1).split(u' ');
            if (p.startsWith(u'+'))
                n.Avista(partes[0], partes[1], partes[2], partes[3].toInt());
            else if (p.startsWith(u'-'))
                n.Perde(partes[0]);
            else
                n.PerdeTodos(partes[0]);
        }
        QCOMPARE(Mostradas(n), mostradas);
        QCOMPARE(mais.size(), adicionadas);
        QCOMPARE(menos.size(), removidas);
    }

    // Whatever the network sends, so many machines and names so long: beyond that, dropped
    // (the one unseen longest first), with one log line.
    void limites_data() {
        QTest::addColumn<int>("maquinas");
        QTest::addColumn<int>("tamanho");  // of each name
        QTest::addColumn<bool>("revista"); // the first machine seen again before the last comes
        QTest::addColumn<int>("mostradas");
        QTest::addColumn<QString>("primeira"); // the first machine's name if kept, else empty
        QTest::addColumn<int>("linhas");
        constexpr int n = int(NavegadorRede::kMaxMaquinas);
        QTest::newRow("nome de 253") << 1 << 253 << false << 1 << "m0" << 0;
        QTest::newRow("nome de 254") << 1 << 254 << false << 0 << "" << 1;
        QTest::newRow("nomes de 60.000") << 50 << 60000 << false << 0 << "" << 1;
        QTest::newRow("no limite") << n << 8 << false << n << "m0" << 0;
        QTest::newRow("além do limite: a mais antiga sai") << n + 2 << 8 << false << n << "" << 1;
        QTest::newRow("além do limite: a revista fica") << n + 1 << 8 << true << n << "m0" << 1;
    }
    void limites() {
        QFETCH(int, maquinas);
        QFETCH(int, tamanho);
        QFETCH(bool, revista);
        QFETCH(int, mostradas);
        QFETCH(QString, primeira);
        QFETCH(int, linhas);
        g_registro.clear();
        const QtMessageHandler anterior = qInstallMessageHandler(Registra);
        NavegadorRede rede;
        const auto nome = [tamanho](int i) {
            const QString n = u'm' + QString::number(i);
            return n + QString(qMax<qsizetype>(0, tamanho - n.size()), u'x');
        };
        for (int i = 0; i < maquinas; ++i) {
            if (revista && i == maquinas - 1)
                rede.Avista(u"k0"_qs, nome(0), u"G"_qs);
            rede.Avista(u'k' + QString::number(i), nome(i), u"G"_qs);
        }
        qInstallMessageHandler(anterior);
        const QList<NavegadorRede::Maquina> vistas = rede.Maquinas();
        QCOMPARE(vistas.size(), mostradas);
        const bool temPrimeira = std::any_of(vistas.cbegin(), vistas.cend(), [](const auto& m) {
            return m.nome.startsWith(u"m0") && (m.nome.size() == 2 || m.nome[2] == u'x');
        });
        QCOMPARE(temPrimeira, !primeira.isEmpty());
        QCOMPARE(g_registro.size(), linhas);
    }

    // A machine keeps its newest sightings only: with the oldest gone, losing the newest
    // ones loses the machine.
    void avistamentosDeUmaMaquina() {
        NavegadorRede rede;
        constexpr int n = int(NavegadorRede::kMaxAvistamentosPorMaquina);
        for (int i = 0; i < n + 4; ++i)
            rede.Avista(u'k' + QString::number(i), u"pc"_qs, u"G"_qs);
        for (int i = 4; i < n + 3; ++i)
            rede.Perde(u'k' + QString::number(i));
        QCOMPARE(rede.Maquinas().size(), 1);
        rede.Perde(u'k' + QString::number(n + 3));
        QCOMPARE(rede.Maquinas().size(), 0);
    }

    // Where a machine's Firebird port may be tried: only on a network of our interfaces.
    void enderecoSondavel_data() {
        QTest::addColumn<QString>("endereco");
        QTest::addColumn<QString>("redes"); // the interfaces' "ip/prefix", comma-separated
        QTest::addColumn<bool>("aceito");
        const QString lan = u"192.168.1.5/24,127.0.0.1/8,10.8.0.1/32"_qs;
        QTest::newRow("na rede") << "192.168.1.20" << lan << true;
        QTest::newRow("esta máquina") << "192.168.1.5" << lan << true;
        QTest::newRow("laço") << "127.0.0.1" << lan << false;
        QTest::newRow("outra rede") << "10.0.0.7" << lan << false;
        QTest::newRow("ponto a ponto") << "10.8.0.1" << lan << false;
        QTest::newRow("IPv6") << "fe80::1" << lan << false;
        QTest::newRow("multicast") << "224.0.0.251" << lan << false;
        QTest::newRow("difusão") << "255.255.255.255" << u"0.0.0.0/1"_qs << false;
        QTest::newRow("sem interfaces") << "192.168.1.20" << QString() << false;
        // Within one of our networks, and still no host: never tried.
        QTest::newRow("multicast numa rede nossa") << "224.0.0.251" << u"224.0.0.5/8"_qs << false;
        QTest::newRow("difusão numa rede nossa")
            << "255.255.255.255" << u"255.255.255.254/31"_qs << false;
        QTest::newRow("endereço da rede") << "192.168.1.0" << lan << false;
        QTest::newRow("difusão da rede") << "192.168.1.255" << lan << false;
        QTest::newRow("difusão de uma /30") << "10.9.0.3" << u"10.9.0.1/30"_qs << false;
        QTest::newRow("/31: sem endereço de rede") << "10.9.0.0" << u"10.9.0.1/31"_qs << true;
    }
    void enderecoSondavel() {
        QFETCH(QString, endereco);
        QFETCH(QString, redes);
        QFETCH(bool, aceito);
        QList<std::pair<QHostAddress, int>> lista;
        for (const QString& r : redes.split(u',', Qt::SkipEmptyParts))
            lista.append({QHostAddress(r.section(u'/', 0, 0)), r.section(u'/', 1).toInt()});
        QCOMPARE(SondaServidores::Aceitavel(QHostAddress(endereco), lista), aceito);
    }
};

QTEST_GUILESS_MAIN(TstNavegadorRede)
#include "tst_navegadorrede.moc"
