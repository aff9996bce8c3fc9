// The main window's server lists and the switch of the server in use, made the way the user
// makes it (a key in the visible selector), on real files in a temporary installation.
#include "common/ArquivoIni.h"
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
#include <QToolButton>

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
    void avisoDbx_data();
    void avisoDbx();
    void avisoDbxClique_data();
    void avisoDbxClique();
    void avisoDbxAoVoltar();
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

namespace {

// kConexoes's MATRIZ as the switch writes it, and the same for alfa.
const QByteArray kDbxMatriz = "[EMPRESA]\r\nDatabase=10.0.0.5:/VELTOGDB/EMPRESA/VELTO.FDB\r\n"
                              "User_Name=VELTO\r\nServidor Aplica\xE7\xE3o=/OPT/VELTO\r\n";
const QByteArray kDbxAlfa = "[EMPRESA]\r\nDatabase=SRV01:\\VELTOGDB\\EMPRESA\\VELTO.FDB\r\n"
                            "Servidor Aplica\xE7\xE3o=C:\\VELTO\r\n";
const QByteArray kDbxEditado = QByteArray(kDbxMatriz).replace("10.0.0.5", "10.0.0.9");
const QString kDica = u"Os módulos vão abrir %1, não o servidor em uso (MATRIZ)."_qs;

} // namespace

// The mark beside the selector once the lists load: whether the modules would open what the
// switch writes for the server in use. Nothing is written, no box is shown.
void TstPrincipalConexoes::avisoDbx_data() {
    QTest::addColumn<QByteArray>("conexoes");
    QTest::addColumn<QByteArray>("dbx"); // "-": no file; "/": a folder in its place
    QTest::addColumn<QString>("dica");   // empty: no mark
    const QByteArray semAtiva = QByteArray(kConexoes).replace("Status=A", "Status=I");
    const QString alfa = u"SRV01:\\VELTOGDB\\EMPRESA\\VELTO.FDB"_qs;
    const QString deAlfa = u"\nEsse é o banco da conexão alfa."_qs;
    // clang-format off
    QTest::newRow("concordam") << kConexoes << kDbxMatriz << QString();
    QTest::newRow("minúsculas") << kConexoes << kDbxMatriz.toLower() << QString();
    QTest::newRow("Database editado") << kConexoes << kDbxEditado << kDica.arg("10.0.0.9:/VELTOGDB/EMPRESA/VELTO.FDB");
    QTest::newRow("o de outra conexão") << kConexoes << kDbxAlfa << kDica.arg(alfa) + deAlfa;
    QTest::newRow("Servidor Aplicação editado") << kConexoes << QByteArray(kDbxMatriz).replace("=/OPT/VELTO", "=/opt/x")
        << u"Os módulos vão usar o Servidor Aplicação /opt/x, não o do servidor em uso (MATRIZ)."_qs;
    QTest::newRow("nenhuma em uso") << semAtiva << kDbxAlfa
        << u"Os módulos vão abrir %1, mas nenhum servidor está em uso."_qs.arg(alfa) + deAlfa;
    QTest::newRow("nenhuma em uso, sem arquivo") << semAtiva << QByteArray("-") << QString();
    QTest::newRow("sem arquivo") << kConexoes << QByteArray("-") << u"O arquivo DBXCONNECTIONS.INI não existe."_qs;
    QTest::newRow("ilegível") << kConexoes << QByteArray("/") << u"O arquivo DBXCONNECTIONS.INI não pôde ser lido."_qs;
    QTest::newRow("sem a seção") << kConexoes << QByteArray("[CART\xD3RIO]\r\nDatabase=x\r\n")
        << u"O arquivo DBXCONNECTIONS.INI não tem a seção EMPRESA."_qs;
    QTest::newRow("sem Database") << kConexoes << QByteArray("[empresa]\r\nUser_Name=VELTO\r\n")
        << u"A seção EMPRESA do DBXCONNECTIONS.INI não tem Database."_qs;
    // clang-format on
}

void TstPrincipalConexoes::avisoDbx() {
    QFETCH(QByteArray, conexoes);
    QFETCH(QByteArray, dbx);
    QFETCH(QString, dica);
    Instalacao inst;
    inst.Grava(QStringLiteral("CONEXOES.INI"), conexoes);
    if (dbx == "/")
        QVERIFY(QDir(inst.Pasta()).mkdir(QStringLiteral("DBXCONNECTIONS.INI")));
    else if (dbx != "-")
        inst.Grava(QStringLiteral("DBXCONNECTIONS.INI"), dbx);
    GravadorMensagens gravador;
    TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
    janela.show();
    QCOMPARE(janela.SpdBtnAvisoDbx()->isVisible(), !dica.isEmpty());
    QCOMPARE(janela.SpdBtnAvisoDbx()->toolTip(), dica);
    QVERIFY(dica.isEmpty() || !janela.FltCbxApelidoServidor()->geometry().intersects(
                                  janela.SpdBtnAvisoDbx()->geometry()));
    QVERIFY(gravador.Pedidos().isEmpty());
    QCOMPARE(inst.Le(QStringLiteral("CONEXOES.INI")), conexoes);
    if (dbx.size() > 1)
        QCOMPARE(inst.Le(QStringLiteral("DBXCONNECTIONS.INI")), dbx);
}

// A click on the mark asks; each answer does what a choice in the selector does, or nothing.
void TstPrincipalConexoes::avisoDbxClique_data() {
    QTest::addColumn<QByteArray>("dbx");
    QTest::addColumn<RespostaMensagem>("resposta");
    QTest::addColumn<QString>("ativa"); // the entry in use afterwards
    QTest::addColumn<QByteArray>("dbxDepois");
    const QByteArray soOutra = "[OUTRA]\r\nx=1\r\n";
    // clang-format off
    QTest::newRow("OK") << kDbxEditado << RespostaMensagem::Ok << "MATRIZ" << kDbxMatriz;
    QTest::newRow("Cancelar") << kDbxEditado << RespostaMensagem::Cancelar << "MATRIZ" << kDbxEditado;
    QTest::newRow("OK sem a seção") << soOutra << RespostaMensagem::Ok << "MATRIZ"
        << soOutra + "[EMPRESA]\r\nDatabase=10.0.0.5:/VELTOGDB/EMPRESA/VELTO.FDB\r\nServidor Aplica\xE7\xE3o=/OPT/VELTO\r\n";
    QTest::newRow("Usar alfa") << kDbxAlfa << RespostaMensagem::Extra << "alfa" << kDbxAlfa;
    // clang-format on
}

void TstPrincipalConexoes::avisoDbxClique() {
    QFETCH(QByteArray, dbx);
    QFETCH(RespostaMensagem, resposta);
    QFETCH(QString, ativa);
    QFETCH(QByteArray, dbxDepois);
    Instalacao inst;
    inst.Grava(QStringLiteral("CONEXOES.INI"), kConexoes);
    inst.Grava(QStringLiteral("DBXCONNECTIONS.INI"), dbx);
    GravadorMensagens gravador;
    TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
    janela.show();
    gravador.Responde(resposta);
    QTest::mouseClick(janela.SpdBtnAvisoDbx(), Qt::LeftButton);

    const bool cancelado = resposta == RespostaMensagem::Cancelar;
    QCOMPARE(gravador.Textos(),
             QStringList{u"Gravar no DBXCONNECTIONS.INI o servidor em uso (MATRIZ)?"_qs} +
                 (cancelado ? QStringList{} : QStringList{u"Conexão alterada com sucesso!"_qs}));
    const PedidoMensagem& p = gravador.Pedidos().constFirst();
    QCOMPARE((QStringList{p.titulo, NomeIcone(p.icone), p.extra}),
             (QStringList{"Gerenciador", "informacao", dbx == kDbxAlfa ? "Usar alfa" : ""}));
    QCOMPARE(p.botoes, BotoesMensagem::OkCancelar);
    if (cancelado)
        QCOMPARE(inst.Le(QStringLiteral("CONEXOES.INI")), kConexoes);
    const ArquivoIni conexoes(inst.Caminho(QStringLiteral("CONEXOES.INI")));
    QCOMPARE(conexoes.LeTexto(ativa, u"Status"_qs), u"A"_qs);
    QCOMPARE(conexoes.LeTexto(ativa == "alfa" ? u"MATRIZ"_qs : u"alfa"_qs, u"Status"_qs), u"I"_qs);
    QCOMPARE(janela.FltCbxApelidoServidor()->currentText(), ativa);
    QCOMPARE(inst.Le(QStringLiteral("DBXCONNECTIONS.INI")), dbxDepois);
    QCOMPARE(janela.SpdBtnAvisoDbx()->isVisible(), cancelado);
}

// The file changes while another window is active: the window looks again when it is active
// again (the mark comes, and goes once the file agrees).
void TstPrincipalConexoes::avisoDbxAoVoltar() {
    Instalacao inst;
    inst.Grava(QStringLiteral("CONEXOES.INI"), kConexoes);
    inst.Grava(QStringLiteral("DBXCONNECTIONS.INI"), kDbxMatriz);
    GravadorMensagens gravador;
    TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
    janela.show();
    QWidget outra;
    for (const QByteArray& dbx : {kDbxAlfa, kDbxMatriz}) {
        outra.show();
        outra.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&outra));
        inst.Grava(QStringLiteral("DBXCONNECTIONS.INI"), dbx);
        janela.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&janela));
        QCOMPARE(janela.SpdBtnAvisoDbx()->isVisible(), dbx == kDbxAlfa);
    }
}

QTEST_MAIN(TstPrincipalConexoes)
#include "tst_principalconexoes.moc"
