// The network browser's platform-neutral parts: one machine per name across sources and
// interfaces, and the host section of a WS-Discovery metadata answer.
#include "conexoes/DescobertaWs.h"
#include "conexoes/NavegadorRede.h"

#include <QSignalSpy>
#include <QTest>

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

// The machines shown, as "GROUP/name", sorted.
QStringList Mostradas(const NavegadorRede& n) {
    QStringList r;
    for (const NavegadorRede::Maquina& m : n.Maquinas())
        r.append(m.grupo + u'/' + m.nome);
    r.sort();
    return r;
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

    // Sightings in order ("+key name group work" or "-key" or "*prefix"), and what is shown.
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
        QTest::newRow("chave desconhecida e nome vazio")
            << QStringList{"-nada", "+k  G 1"} << QStringList{} << 0 << 0;
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
                n.Avista(partes[0], partes[1], partes[2], partes[3] == u"1");
            else if (p.startsWith(u'-'))
                n.Perde(partes[0]);
            else
                n.PerdeTodos(partes[0]);
        }
        QCOMPARE(Mostradas(n), mostradas);
        QCOMPARE(mais.size(), adicionadas);
        QCOMPARE(menos.size(), removidas);
    }
};

QTEST_GUILESS_MAIN(TstNavegadorRede)
#include "tst_navegadorrede.moc"
