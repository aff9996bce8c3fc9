// The main window's server lists and the switch of the server in use, made the way the user
// makes it (a key in the visible selector), on real files in a temporary installation.
#include "common/Texto.h"
#include "principal/Principal.h"
#include "support/CaixasReais.h"
#include "support/GravadorMensagens.h"
#include "support/Instalacao.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QTest>

namespace {

const QByteArray kConexoes = "[MATRIZ]\r\nServidor=10.0.0.5\r\nTipo=Linux\r\nAplica\xE7\xE3o="
                             "/opt/velto\r\nStatus=A\r\n"
                             "[alfa]\r\nServidor=srv01\r\nTipo=Windows\r\nAplica\xE7\xE3o=c:\\velto"
                             "\r\nStatus=I\r\n";
const QByteArray kDbx = "[EMPRESA]\r\nDriverName=Firebird\r\nDatabase=velho\r\nUser_Name=VELTO\r\n"
                        "Servidor Aplica\xE7\xE3o=velho\r\n\r\n[OUTRA]\r\nDatabase=fica\r\n";

QStringList Itens(const QComboBox* c) {
    QStringList r;
    for (int i = 0; i < c->count(); ++i)
        r.append(c->itemText(i));
    return r;
}

} // namespace

class TstPrincipalConexoes : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void listasAoMostrar();
    void trocaPeloUsuarioAvisa();
    void trocaEmNomeDeOutraJanelaNaoAvisa();
    void dbxSomenteLeituraAindaAvisa();
    void mesmaEscolhaNaoFazNada();
    void ipPublicoSemPaginaNaoTrava();
};

void TstPrincipalConexoes::listasAoMostrar() {
    Instalacao inst;
    inst.Grava(QStringLiteral("CONEXOES.INI"), kConexoes);
    GravadorMensagens gravador;
    TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
    janela.show();
    QCOMPARE(Itens(janela.FltCbxApelidoServidor()), QStringList({"alfa", "MATRIZ"}));
    QCOMPARE(Itens(janela.CbboxServidor()), QStringList({"ALFA", "MATRIZ"}));
    QCOMPARE(janela.FltCbxApelidoServidor()->currentIndex(), 1);
    QCOMPARE(janela.CbboxServidor()->currentIndex(), 1);
    QVERIFY(gravador.Pedidos().isEmpty());
}

void TstPrincipalConexoes::trocaPeloUsuarioAvisa() {
    Instalacao inst;
    inst.Grava(QStringLiteral("CONEXOES.INI"), kConexoes);
    inst.Grava(QStringLiteral("DBXCONNECTIONS.INI"), kDbx);
    GravadorMensagens gravador;
    TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
    janela.show();
    janela.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&janela));

    QTest::keyClick(janela.FltCbxApelidoServidor(), Qt::Key_Up); // MATRIZ -> alfa

    QCOMPARE(gravador.Textos(), QStringList({u"Conexão alterada com sucesso!"_qs}));
    QCOMPARE(gravador.Pedidos()[0].titulo, QStringLiteral("VELTO"));
    QCOMPARE(gravador.Pedidos()[0].icone, IconeMensagem::Exclamacao);
    QCOMPARE(janela.FltCbxApelidoServidor()->currentText(), QStringLiteral("alfa"));
    QCOMPARE(janela.CbboxServidor()->currentIndex(), 0);
    const QByteArray conexoes = inst.Le(QStringLiteral("CONEXOES.INI"));
    QVERIFY(conexoes.contains("[MATRIZ]\r\nServidor=10.0.0.5\r\nTipo=Linux\r\nAplica\xE7\xE3o="
                              "/opt/velto\r\nStatus=I\r\n"));
    QVERIFY(conexoes.contains("c:\\velto\r\nStatus=A\r\n"));
    // The server in lower case and the folder are upper-cased; the rest of the file stays.
    QCOMPARE(inst.Le(QStringLiteral("DBXCONNECTIONS.INI")),
             QByteArray("[EMPRESA]\r\nDriverName=Firebird\r\nDatabase=SRV01:\\VELTOGDB\\EMPRESA\\"
                        "VELTO.FDB\r\nUser_Name=VELTO\r\nServidor Aplica\xE7\xE3o=C:\\VELTO\r\n"
                        "\r\n[OUTRA]\r\nDatabase=fica\r\n"));
}

void TstPrincipalConexoes::trocaEmNomeDeOutraJanelaNaoAvisa() {
    Instalacao inst;
    inst.Grava(QStringLiteral("CONEXOES.INI"), kConexoes);
    GravadorMensagens gravador;
    TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
    janela.show();
    // Another window (the connection editor) is active and moves the selection itself.
    QDialog editor(&janela);
    editor.show();
    editor.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    janela.FltCbxApelidoServidor()->setCurrentIndex(0);
    janela.CbxApelidoServidorChange();

    QVERIFY(gravador.Pedidos().isEmpty());
    QVERIFY(inst.Le(QStringLiteral("CONEXOES.INI")).contains("c:\\velto\r\nStatus=A\r\n"));
    QVERIFY(inst.Le(QStringLiteral("DBXCONNECTIONS.INI"))
                .contains("Database=SRV01:\\VELTOGDB\\EMPRESA\\VELTO.FDB\r\n"));
}

// The dbExpress file refuses the write: its error box, then still the success message, since
// the choice was made in this window (real boxes: the active window is what matters here).
void TstPrincipalConexoes::dbxSomenteLeituraAindaAvisa() {
    Instalacao inst;
    inst.Grava(QStringLiteral("CONEXOES.INI"), kConexoes);
    inst.Grava(QStringLiteral("DBXCONNECTIONS.INI"), kDbx);
    const QString dbx = inst.Caminho(QStringLiteral("DBXCONNECTIONS.INI"));
    QVERIFY(QFile::setPermissions(dbx, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    CaixasReais caixas;
    TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
    janela.show();
    janela.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&janela));

    QTest::keyClick(janela.FltCbxApelidoServidor(), Qt::Key_Up); // MATRIZ -> alfa

    QCOMPARE(caixas.Textos(),
             QStringList({u"Não foi possível abrir o arquivo de conexão com o Banco de Dados!"_qs,
                          u"Conexão alterada com sucesso!"_qs}));
    QVERIFY(inst.Le(QStringLiteral("CONEXOES.INI")).contains("c:\\velto\r\nStatus=A\r\n"));
    QCOMPARE(inst.Le(QStringLiteral("DBXCONNECTIONS.INI")), kDbx);
}

void TstPrincipalConexoes::mesmaEscolhaNaoFazNada() {
    Instalacao inst;
    inst.Grava(QStringLiteral("CONEXOES.INI"), kConexoes);
    GravadorMensagens gravador;
    TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
    janela.show();
    janela.CbxApelidoServidorChange(); // the mirror already has the same selection
    QVERIFY(gravador.Pedidos().isEmpty());
    QCOMPARE(inst.Le(QStringLiteral("CONEXOES.INI")), kConexoes);
    QVERIFY(!QFile::exists(inst.Caminho(QStringLiteral("DBXCONNECTIONS.INI"))));
}

void TstPrincipalConexoes::ipPublicoSemPaginaNaoTrava() {
    Instalacao inst;
    GravadorMensagens gravador;
    TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
    janela.UrlMeuIP = QStringLiteral("http://127.0.0.1:9/"); // nothing listens there
    janela.show();
    QTRY_COMPARE_WITH_TIMEOUT(janela.LblIP()->text(), u"Meu IP não encontrado!"_qs, 20000);
    QVERIFY(gravador.Pedidos().isEmpty());
}

QTEST_MAIN(TstPrincipalConexoes)
#include "tst_principalconexoes.moc"
