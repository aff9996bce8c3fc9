#include "common/Versao.h"
#include "principal/Principal.h"
#include "support/Instalacao.h"

#include <QFile>
#include <QTest>

class TstVersao : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void formatos_data() {
        QTest::addColumn<int>("maior");
        QTest::addColumn<int>("menor");
        QTest::addColumn<int>("revisao");
        QTest::addColumn<int>("build");
        QTest::addColumn<QString>("principal");
        QTest::addColumn<QString>("simples");
        QTest::newRow("3.2.1.0") << 3 << 2 << 1 << 0 << "3.2.1.00"
                                 << "3.2.1.0";
        QTest::newRow("10.11.12.13") << 10 << 11 << 12 << 13 << "0.1.2.13"
                                     << "10.11.12.13";
        QTest::newRow("1.0.0.100") << 1 << 0 << 0 << 100 << "1.0.0.00"
                                   << "1.0.0.100";
        QTest::newRow("3.12.1.7") << 3 << 12 << 1 << 7 << "3.2.1.07"
                                  << "3.12.1.7";
        QTest::newRow("4.0.0.15") << 4 << 0 << 0 << 15 << "4.0.0.15"
                                  << "4.0.0.15";
        QTest::newRow("105.899.0.123") << 105 << 899 << 0 << 123 << "5.9.0.23"
                                       << "105.899.0.123";
        QTest::newRow("900") << 900 << 900 << 900 << 900 << "00.00.00.00"
                             << "900.900.900.900";
        QTest::newRow("65535") << 65535 << 65535 << 65535 << 65535 << "63.63.63.56"
                               << "65535.65535.65535.65535";
        QTest::newRow("zeros") << 0 << 0 << 0 << 0 << "0.0.0.00"
                               << "0.0.0.0";
    }
    void formatos() {
        QFETCH(int, maior);
        QFETCH(int, menor);
        QFETCH(int, revisao);
        QFETCH(int, build);
        QFETCH(QString, principal);
        QFETCH(QString, simples);
        const Plataforma::Versao v{std::uint16_t(maior), std::uint16_t(menor),
                                   std::uint16_t(revisao), std::uint16_t(build)};
        QCOMPARE(FormataVersaoPrincipal(v), principal);
        QCOMPARE(FormataVersaoSimples(v), simples);
    }

    // The version read from files: the real program, and files whose version block is
    // missing, cut off or damaged, which read as zeros in both formats without harm.
    void arquivos_data() {
        QTest::addColumn<QString>("caso");
        QTest::addColumn<QString>("principal");
        QTest::addColumn<QString>("simples");
        QTest::newRow("o programa") << "programa"
                                    << "3.2.1.00"
                                    << "3.2.1.0";
        QTest::newRow("arquivo ausente") << "ausente"
                                         << "0.0.0.00"
                                         << "0.0.0.0";
        QTest::newRow("arquivo vazio") << "vazio"
                                       << "0.0.0.00"
                                       << "0.0.0.0";
        QTest::newRow("texto") << "texto"
                               << "0.0.0.00"
                               << "0.0.0.0";
        QTest::newRow("cabeçalho ELF sem o resto") << "elf"
                                                   << "0.0.0.00"
                                                   << "0.0.0.0";
        QTest::newRow("programa cortado ao meio") << "metade"
                                                  << "0.0.0.00"
                                                  << "0.0.0.0";
        QTest::newRow("assinatura do bloco danificada") << "assinatura"
                                                        << "0.0.0.00"
                                                        << "0.0.0.0";
    }
    void arquivos() {
        QFETCH(QString, caso);
        QFETCH(QString, principal);
        QFETCH(QString, simples);
        const Instalacao inst;
        QFile original(CaminhoPrograma());
        QVERIFY(original.open(QIODevice::ReadOnly));
        QByteArray bytes = original.readAll();
        QString caminho = inst.Caminho(QStringLiteral("arquivo"));
        if (caso == QLatin1String("programa")) {
            caminho = CaminhoPrograma();
        } else if (caso == QLatin1String("vazio")) {
            inst.Grava(QStringLiteral("arquivo"), {});
        } else if (caso == QLatin1String("texto")) {
            inst.Grava(QStringLiteral("arquivo"), "[BOTÕES]\r\nVELTOM01.EXE=Sim\r\n");
        } else if (caso == QLatin1String("elf")) {
            inst.Grava(QStringLiteral("arquivo"), bytes.left(64));
        } else if (caso == QLatin1String("metade")) {
            inst.Grava(QStringLiteral("arquivo"), bytes.left(bytes.size() / 2));
        } else if (caso == QLatin1String("assinatura")) {
            // The fixed block starts with its signature, 0xFEEF04BD little-endian.
            const QByteArray assinatura("\xBD\x04\xEF\xFE", 4);
            qsizetype achadas = 0;
            for (qsizetype i = bytes.indexOf(assinatura); i >= 0;
                 i = bytes.indexOf(assinatura, i + 1), ++achadas)
                bytes[i] = 0;
            QVERIFY(achadas > 0);
            inst.Grava(QStringLiteral("arquivo"), bytes);
        }
        QCOMPARE(VersaoPrincipalDoArquivo(caminho), principal);
        QCOMPARE(VersaoSimplesDoArquivo(caminho), simples);
    }

    // Both read the running executable's own file.
    void executavel() {
        QCOMPARE(TFrmPrincipal::GetBuildInfo(), QStringLiteral("3.2.1.00"));
        QCOMPARE(VersaoDoArquivo(), QStringLiteral("3.2.1.0"));
    }
};

QTEST_MAIN(TstVersao)
#include "tst_versao.moc"
