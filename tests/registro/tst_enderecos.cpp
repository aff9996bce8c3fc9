#include "registro/Enderecos.h"
#include "support/GravadorMensagens.h"

#include <QTest>

class TstEnderecos : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void validaIP_data() {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<bool>("valido");
        QTest::newRow("comum") << "192.168.0.10" << true;
        QTest::newRow("15 caracteres") << "255.255.255.255" << true;
        QTest::newRow("acima de 255 passa") << "999.999.999.999" << true;
        QTest::newRow("só três pontos") << "..." << true;
        QTest::newRow("letras passam") << "A.B.C.D" << true;
        QTest::newRow("brancos passam") << " 1. 2.3 .4 " << true;
        QTest::newRow("grupo vazio no fim") << "1.2.3." << true;
        QTest::newRow("dois pontos") << "1.2.3" << false;
        QTest::newRow("quatro pontos") << "1.2.3.4.5" << false;
        QTest::newRow("quatro pontos curtos") << "...." << false;
        QTest::newRow("primeiro grupo de 4") << "1234.1.1.1" << false;
        QTest::newRow("grupo do meio de 4") << "1.1234.1.1" << false;
        QTest::newRow("último grupo de 4") << "1.1.1.1234" << false;
        QTest::newRow("vazio") << "" << false;
        QTest::newRow("16 caracteres") << "255.255.255.2550" << false;
        QTest::newRow("16 caracteres de pontos e brancos") << "...             " << false;
        QTest::newRow("sem pontos") << "localhost" << false;
    }
    void validaIP() {
        QFETCH(QString, texto);
        QFETCH(bool, valido);
        QCOMPARE(ValidaIP(texto), valido);
    }

    void getIP_data() {
        QTest::addColumn<QString>("nome");
        QTest::addColumn<QString>("ip");
        QTest::newRow("localhost") << "localhost"
                                   << "127.0.0.1";
        QTest::newRow("endereço dá ele mesmo") << "127.1.2.3"
                                               << "127.1.2.3";
        QTest::newRow("bytes altos sem sinal") << "127.200.250.255"
                                               << "127.200.250.255";
        QTest::newRow("nome que nada resolve") << "x.invalid"
                                               << "";
        QTest::newRow("vazio") << ""
                               << "";
        QTest::newRow("nome com nulo")
            << QString(QStringLiteral("localhost") + QChar(0) + "x") << "";
    }
    void getIP() {
        QFETCH(QString, nome);
        QFETCH(QString, ip);
        GravadorMensagens msgs;
        QCOMPARE(GetIP(nome), ip);
        if (!ip.isEmpty()) {
            QCOMPARE(msgs.Textos(), QStringList());
        } else {
            QCOMPARE(msgs.Pedidos().size(), 1);
            const PedidoMensagem& p = msgs.Pedidos().first();
            QCOMPARE(p.texto,
                     QStringLiteral(
                         "Endereço de IP não localizado!\rVerifique o computador escolhido."));
            QCOMPARE(p.titulo, QStringLiteral("Gerenciador"));
            QCOMPARE(p.icone, IconeMensagem::Exclamacao);
            QCOMPARE(p.botoes, BotoesMensagem::Ok);
        }
    }
};

QTEST_GUILESS_MAIN(TstEnderecos)
#include "tst_enderecos.moc"
