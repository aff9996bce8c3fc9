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
const QByteArray kDbxMatriz = "[EMPRESA]\r\nDriverName=Firebird\r\nDatabase=10.0.0.5:/VELTOGDB/"
                              "EMPRESA/VELTO.FDB\r\nUser_Name=VELTO\r\nServidor Aplica\xE7\xE3o="
                              "/OPT/VELTO\r\n";
const QByteArray kDbxAlfa = "[EMPRESA]\r\nDatabase=SRV01:\\VELTOGDB\\EMPRESA\\VELTO.FDB\r\n"
                            "Servidor Aplica\xE7\xE3o=C:\\VELTO\r\n";
const QByteArray kSemAtiva = QByteArray(kConexoes).replace("Status=A", "Status=I");
const QByteArray kAusente = "(ausente)";

} // namespace

// The mark beside the selector, as the window shows it after loading its lists: whether the
// modules would open what the switch writes for the server in use. Nothing is written, no box.
void TstPrincipalConexoes::avisoDbx_data() {
    QTest::addColumn<QByteArray>("conexoes");
    QTest::addColumn<QByteArray>("dbx"); // kAusente: no file; "/": a folder in its place
    QTest::addColumn<QString>("dica");   // empty: no mark
    const QString abre = u"Os módulos vão abrir %1, não o servidor em uso (MATRIZ)."_qs;
    // clang-format off
    QTest::newRow("concordam") << kConexoes << kDbxMatriz << QString();
    QTest::newRow("letras minúsculas no arquivo")
        << kConexoes << QByteArray(kDbxMatriz).replace("VELTOGDB/EMPRESA", "veltogdb/Empresa")
        << QString();
    QTest::newRow("Database editado")
        << kConexoes << QByteArray(kDbxMatriz).replace("10.0.0.5", "10.0.0.9")
        << abre.arg("10.0.0.9:/VELTOGDB/EMPRESA/VELTO.FDB");
    QTest::newRow("tipo errado")
        << kConexoes << QByteArray(kDbxMatriz).replace('/', '\\').replace("\\OPT\\VELTO", "/OPT/VELTO")
        << abre.arg("10.0.0.5:\\VELTOGDB\\EMPRESA\\VELTO.FDB");
    QTest::newRow("banco de outra conexão")
        << kConexoes << kDbxAlfa
        << abre.arg("SRV01:\\VELTOGDB\\EMPRESA\\VELTO.FDB") + u"\nEsse é o banco da conexão alfa."_qs;
    QTest::newRow("Servidor Aplicação editado")
        << kConexoes << QByteArray(kDbxMatriz).replace("=/OPT/VELTO", "=/opt/outra")
        << u"Os módulos vão usar o Servidor Aplicação /opt/outra, não o do servidor em uso (MATRIZ)."_qs;
    QTest::newRow("nenhuma em uso, arquivo com banco")
        << kSemAtiva << kDbxAlfa
        << u"Os módulos vão abrir SRV01:\\VELTOGDB\\EMPRESA\\VELTO.FDB, mas nenhum servidor está em uso.\nEsse é o banco da conexão alfa."_qs;
    QTest::newRow("nenhuma em uso, sem arquivo") << kSemAtiva << kAusente << QString();
    QTest::newRow("sem arquivo") << kConexoes << kAusente << u"O arquivo DBXCONNECTIONS.INI não existe."_qs;
    QTest::newRow("ilegível") << kConexoes << QByteArray("/") << u"O arquivo DBXCONNECTIONS.INI não pôde ser lido."_qs;
    QTest::newRow("sem a seção")
        << kConexoes << QByteArray("[CART\xD3RIO]\r\nDatabase=x\r\n")
        << u"O arquivo DBXCONNECTIONS.INI não tem a seção EMPRESA."_qs;
    QTest::newRow("sem Database")
        << kConexoes << QByteArray("[empresa]\r\nUser_Name=VELTO\r\n")
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
    else if (dbx != kAusente)
        inst.Grava(QStringLiteral("DBXCONNECTIONS.INI"), dbx);
    GravadorMensagens gravador;
    TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
    janela.show();
    QCOMPARE(janela.SpdBtnAvisoDbx()->isVisible(), !dica.isEmpty());
    QCOMPARE(janela.SpdBtnAvisoDbx()->toolTip(), dica);
    // The selector makes room for the mark.
    QVERIFY(dica.isEmpty() || !janela.FltCbxApelidoServidor()->geometry().intersects(
                                  janela.SpdBtnAvisoDbx()->geometry()));
    QVERIFY(gravador.Pedidos().isEmpty());
    QCOMPARE(inst.Le(QStringLiteral("CONEXOES.INI")), conexoes);
    if (dbx != kAusente && dbx != "/")
        QCOMPARE(inst.Le(QStringLiteral("DBXCONNECTIONS.INI")), dbx);
    else if (dbx == kAusente)
        QVERIFY(!QFile::exists(inst.Caminho(QStringLiteral("DBXCONNECTIONS.INI"))));
}

// A click on the mark: the question, then what each answer does to both files, and whether the
// mark goes.
void TstPrincipalConexoes::avisoDbxClique_data() {
    QTest::addColumn<QByteArray>("dbx");
    QTest::addColumn<QString>("usar"); // the third button's caption (empty: none)
    QTest::addColumn<RespostaMensagem>("resposta");
    QTest::addColumn<QString>("ativa"); // the entry marked "A" afterwards
    QTest::addColumn<QByteArray>("dbxDepois");
    QTest::addColumn<bool>("marca");
    const QByteArray editado = QByteArray(kDbxMatriz).replace("10.0.0.5", "10.0.0.9");
    // clang-format off
    QTest::newRow("OK grava o servidor em uso")
        << editado << QString() << RespostaMensagem::Ok << "MATRIZ" << kDbxMatriz << false;
    QTest::newRow("Cancelar não muda nada")
        << editado << QString() << RespostaMensagem::Cancelar << "MATRIZ" << editado << true;
    QTest::newRow("sem a seção: OK a escreve")
        << QByteArray("[OUTRA]\r\nx=1\r\n") << QString() << RespostaMensagem::Ok << "MATRIZ"
        << QByteArray("[OUTRA]\r\nx=1\r\n[EMPRESA]\r\nDatabase=10.0.0.5:/VELTOGDB/EMPRESA/"
                      "VELTO.FDB\r\nServidor Aplica\xE7\xE3o=/OPT/VELTO\r\n") << false;
    QTest::newRow("Usar a conexão do arquivo")
        << kDbxAlfa << u"Usar alfa"_qs << RespostaMensagem::Extra << "alfa" << kDbxAlfa << false;
    QTest::newRow("OK em vez de usar a do arquivo")
        << kDbxAlfa << u"Usar alfa"_qs << RespostaMensagem::Ok << "MATRIZ"
        << QByteArray("[EMPRESA]\r\nDatabase=10.0.0.5:/VELTOGDB/EMPRESA/VELTO.FDB\r\n"
                      "Servidor Aplica\xE7\xE3o=/OPT/VELTO\r\n") << false;
    // clang-format on
}

void TstPrincipalConexoes::avisoDbxClique() {
    QFETCH(QByteArray, dbx);
    QFETCH(QString, usar);
    QFETCH(RespostaMensagem, resposta);
    QFETCH(QString, ativa);
    QFETCH(QByteArray, dbxDepois);
    QFETCH(bool, marca);
    Instalacao inst;
    inst.Grava(QStringLiteral("CONEXOES.INI"), kConexoes);
    inst.Grava(QStringLiteral("DBXCONNECTIONS.INI"), dbx);
    GravadorMensagens gravador;
    TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
    janela.show();
    QVERIFY(janela.SpdBtnAvisoDbx()->isVisible());
    gravador.Responde(resposta);
    QTest::mouseClick(janela.SpdBtnAvisoDbx(), Qt::LeftButton);

    QVERIFY(!gravador.Pedidos().isEmpty());
    const PedidoMensagem& p = gravador.Pedidos().constFirst();
    QCOMPARE(p.texto, u"Gravar no DBXCONNECTIONS.INI o servidor em uso (MATRIZ)?"_qs);
    QCOMPARE(p.titulo, u"Gerenciador"_qs);
    QCOMPARE(p.icone, IconeMensagem::Informacao);
    QCOMPARE(p.botoes, BotoesMensagem::OkCancelar);
    QCOMPARE(p.extra, usar);
    // A switch says what a choice in the selector says; Cancelar, nothing more.
    QCOMPARE(gravador.Textos().mid(1), resposta == RespostaMensagem::Cancelar
                                           ? QStringList{}
                                           : QStringList{u"Conexão alterada com sucesso!"_qs});
    const QByteArray conexoes = inst.Le(QStringLiteral("CONEXOES.INI"));
    if (resposta == RespostaMensagem::Cancelar)
        QCOMPARE(conexoes, kConexoes);
    QVERIFY2(conexoes.contains('[' + ativa.toLatin1() + "]\r\nServidor=") &&
                 conexoes.count("Status=A") == 1 &&
                 conexoes.indexOf("Status=A") > conexoes.indexOf('[' + ativa.toLatin1() + ']') &&
                 (ativa == "alfa" || conexoes.indexOf("Status=A") < conexoes.indexOf("[alfa]")),
             conexoes.constData());
    QCOMPARE(janela.FltCbxApelidoServidor()->currentText(), ativa);
    QCOMPARE(inst.Le(QStringLiteral("DBXCONNECTIONS.INI")), dbxDepois);
    QCOMPARE(janela.SpdBtnAvisoDbx()->isVisible(), marca);
}

// The file changes while another window is active: the mark appears when this one is active
// again, and goes once the file agrees again.
void TstPrincipalConexoes::avisoDbxAoVoltar() {
    Instalacao inst;
    inst.Grava(QStringLiteral("CONEXOES.INI"), kConexoes);
    inst.Grava(QStringLiteral("DBXCONNECTIONS.INI"), kDbxMatriz);
    GravadorMensagens gravador;
    TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
    janela.show();
    QVERIFY(!janela.SpdBtnAvisoDbx()->isVisible());
    QWidget outra;
    for (const QByteArray& dbx : {kDbxAlfa, kDbxMatriz}) {
        outra.show();
        outra.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&outra));
        inst.Grava(QStringLiteral("DBXCONNECTIONS.INI"), dbx);
        QCOMPARE(janela.SpdBtnAvisoDbx()->isVisible(), dbx == kDbxMatriz); // not looked yet
        janela.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&janela));
        QCOMPARE(janela.SpdBtnAvisoDbx()->isVisible(), dbx == kDbxAlfa);
    }
    QVERIFY(gravador.Pedidos().isEmpty());
}

QTEST_MAIN(TstPrincipalConexoes)
#include "tst_principalconexoes.moc"
