#include "common/Texto.h"

#include <QTest>

class TstTexto : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // One table row per line:
    // clang-format off
    void maiusculas_data() {
        QTest::addColumn<QString>("entrada");
        QTest::addColumn<QString>("esperado");
        QTest::newRow("ascii") << "empresa" << "EMPRESA";
        QTest::newRow("acentos ficam") << u"Cartório"_qs << u"CARTóRIO"_qs;
        QTest::newRow("ç e ã ficam") << u"aplicação"_qs << u"APLICAçãO"_qs;
        QTest::newRow("vazio") << "" << "";
        QTest::newRow("pontuação") << "a-z{}~" << "A-Z{}~";
    }
    void maiusculas() {
        QFETCH(QString, entrada);
        QFETCH(QString, esperado);
        QCOMPARE(MaiusculasAscii(entrada), esperado);
    }

    void apara_data() {
        QTest::addColumn<QString>("entrada");
        QTest::addColumn<QString>("esperado");
        QTest::newRow("brancos") << "  x y  " << "x y";
        QTest::newRow("controle") << QString("\t\r\n\x1A" "x\x01") << "x";
        QTest::newRow("nbsp fica") << u"\u00A0x\u00A0"_qs << u"\u00A0x\u00A0"_qs;
        QTest::newRow("só brancos") << " \t " << "";
    }
    void apara() {
        QFETCH(QString, entrada);
        QFETCH(QString, esperado);
        QCOMPARE(Apara(entrada), esperado);
        QCOMPARE(DeWindows1252(Apara(QByteArrayView(ParaWindows1252(entrada)))), esperado);
    }

    void windows1252_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("texto");
        QTest::newRow("Õ de BOTÕES") << QByteArray("BOT\xD5" "ES") << u"BOTÕES"_qs;
        QTest::newRow("Aplicação") << QByteArray("Aplica\xE7\xE3o") << u"Aplicação"_qs;
        QTest::newRow("Ó de CARTÓRIO") << QByteArray("CART\xD3RIO") << u"CARTÓRIO"_qs;
        QTest::newRow("euro e aspas") << QByteArray("\x80\x93\x94") << u"€“”"_qs;
        QTest::newRow("sem caractere") << QByteArray("\x81\x8D\x8F\x90\x9D")
                                       << u"\u0081\u008D\u008F\u0090\u009D"_qs;
    }
    // clang-format on
    void windows1252() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, texto);
        QCOMPARE(DeWindows1252(bytes), texto);
        QCOMPARE(ParaWindows1252(texto), bytes);
        QCOMPARE(ForaDoWindows1252(texto), QString());
    }

    void todosOsBytesVoltam() {
        QByteArray todos;
        for (int b = 0; b < 256; ++b)
            todos.append(char(b));
        QCOMPARE(ParaWindows1252(DeWindows1252(todos)), todos);
    }

    void semByteViraInterrogacao() {
        QCOMPARE(ParaWindows1252(u"a\u4E2Db"_qs), QByteArray("a?b"));
        QCOMPARE(ParaWindows1252(u"a\U0001F600b"_qs), QByteArray("a?b"));
        QCOMPARE(ForaDoWindows1252(u"a?\U0001F600\u4E2D"_qs), u"\U0001F600"_qs);
        QCOMPARE(ForaDoWindows1252(u"ÓŁ"_qs), u"Ł"_qs);
    }
};

QTEST_APPLESS_MAIN(TstTexto)
#include "tst_texto.moc"
