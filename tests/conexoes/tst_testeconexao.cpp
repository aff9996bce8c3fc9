// The ping form on its own: its controls, the attempts box, the default button, closing, and
// the database-port and database lines after a run of one echo to this machine (the database
// ones against the Firebird server of scripts/servicos/firebird). Runs with echoes to other
// hosts are in tst_pingreal.
#include "common/ClienteFirebird.h"
#include "conexoes/CaixaNumero.h"
#include "conexoes/TesteConexao.h"
#include "menu/ServicoSeguranca.h"
#include "support/GravadorMensagens.h"
#include "support/Instalacao.h"
#include "support/ServidorFirebird.h"
#include "support/ServidorPagina.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLibrary>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <cstdio>

namespace {
QLineEdit* Edicao(QAbstractSpinBox* caixa) {
    return caixa->findChild<QLineEdit*>();
}

// Set in a copy of this test, run for one row: the database, or "-" to wait for SIGTERM.
constexpr char kCopia[] = "GERENCIADOR_TESTE_COPIA";
const QByteArray kCredenciais = "User_Name=SYSDBA\r\nPassword=plumbvext\r\n";

// Starts this test again for the current row, with `ambiente` and, when given, `prefixo` (a
// command that runs it).
void IniciaCopia(QProcess& copia, QProcessEnvironment ambiente, QStringList prefixo = {}) {
    copia.setProcessEnvironment(ambiente);
    copia.setProcessChannelMode(QProcess::MergedChannels);
    prefixo << QCoreApplication::applicationFilePath()
            << QString::fromUtf8(QTest::currentTestFunction()) + u':' + QTest::currentDataTag();
    copia.start(prefixo.takeFirst(), prefixo);
}

// One run of one echo to this machine with DBXCONNECTIONS.INI holding `secao`; the lines after
// the replies once the port probe and every database check have ended (or none, at once).
QStringList LinhasDepoisDoPing(TFrmTesteConexao& form, const QByteArray& secao,
                               bool espera = true) {
    GravadorMensagens caixas; // the echo itself may be refused here (no ICMP rights)
    Instalacao pasta;
    pasta.Grava(QStringLiteral("DBXCONNECTIONS.INI"), "[Outra]\r\nDatabase=x:/y\r\n" + secao);
    form.DefineHost(QStringLiteral("127.0.0.1"));
    form.DefineBanco(pasta.Caminho(QStringLiteral("DBXCONNECTIONS.INI")), u"EMPRESA"_qs);
    form.findChild<CaixaNumero*>(QStringLiteral("spnPing"))->setValue(1);
    form.btnPingClick();
    if (!espera)
        return {};
    if (!QTest::qWaitFor(
            [&] { return !form.findChild<SondaPorta*>() && VerificacoesBancoEmCurso() == 0; },
            60000))
        return {QStringLiteral("a verificação não terminou")};
    QCoreApplication::processEvents(); // the last answer's queued hand-over
    QStringList linhas;
    for (auto* item : form.findChild<QListWidget*>()->findItems(u""_qs, Qt::MatchContains))
        if (!item->text().contains(u"icmp_seq="))
            linhas.append(item->text());
    return linhas;
}
} // namespace

class TstTesteConexao : public QObject {
    Q_OBJECT
    QTemporaryDir pastaBanco_; // the server's user writes here
    QString banco_;            // the test's database; empty when the server cannot serve it
    QString motivo_;
    QString copia_; // what the last copy wrote

    // Runs the current row of linhasDoBanco in a copy: `cliente` "-" hides the client library
    // (Linux), other texts are its firebird.conf. True when the copy's row passed.
    bool RodaNumaCopia(const QString& cliente) {
        QProcessEnvironment ambiente = QProcessEnvironment::systemEnvironment();
        ambiente.insert(QLatin1String(kCopia), banco_);
        QTemporaryDir raiz;
        QStringList prefixo;
        if (cliente == u"-") {
            // The file the system loaded, whatever links lead to it, is emptied for the copy.
            QFile mapas(u"/proc/self/maps"_qs);
            mapas.open(QIODevice::ReadOnly);
            QString arquivo;
            for (const QByteArray& l : mapas.readAll().split('\n'))
                if (l.contains("libfbclient"))
                    arquivo = QString::fromLocal8Bit(l.mid(l.indexOf('/')));
            prefixo = QStringList{
                "unshare", "-rm", "sh", "-c", "mount --bind /dev/null \"$0\" && exec \"$@\"",
                arquivo};
        } else {
            QFile conf(raiz.filePath(u"firebird.conf"_qs));
            if (!conf.open(QIODevice::WriteOnly) || conf.write(cliente.toUtf8() + '\n') < 0)
                return false;
            ambiente.insert(u"FIREBIRD"_qs, raiz.path());
        }
        QProcess copia;
        IniciaCopia(copia, ambiente, prefixo);
        const bool terminou = copia.waitForFinished(120000);
        copia_ = QString::fromUtf8(copia.readAll());
        return terminou && copia.exitCode() == 0 &&
               copia_.contains(u"PASS   : TstTesteConexao::linhasDoBanco"_qs);
    }

private Q_SLOTS:
    void initTestCase() {
        banco_ = qEnvironmentVariable(kCopia); // a copy uses its parent's
        if (!banco_.isEmpty() || !ServidorFirebird::Disponivel(&motivo_))
            return;
        if (!QLibrary(NomeBibliotecaClienteFirebird()).load()) {
            motivo_ = u"sem o cliente Firebird nesta máquina"_qs;
            return;
        }
        QFile::setPermissions(pastaBanco_.path(), QFileDevice::Permissions(0x7777));
        if (ServidorFirebird::CriaBanco(pastaBanco_.filePath(u"TESTE.FDB"_qs), &motivo_))
            banco_ = pastaBanco_.filePath(u"TESTE.FDB"_qs);
    }
    void cleanupTestCase() {
        if (!banco_.isEmpty() && !qEnvironmentVariableIsSet(kCopia))
            ServidorFirebird::ApagaBanco(banco_);
    }

    void controles() {
        TFrmTesteConexao form;
        QCOMPARE(FrmTesteConexao, &form);
        QCOMPARE(form.windowTitle(), u"Teste de Conexão"_qs);
        QCOMPARE(form.size(), QSize(560, 222));
        const Qt::WindowFlags f = form.windowFlags();
        QVERIFY(f & Qt::WindowCloseButtonHint);
        QVERIFY(f & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(f & Qt::WindowMaximizeButtonHint));
        QVERIFY(!(f & Qt::WindowContextHelpButtonHint));
        QVERIFY(form.minimumSize() != form.maximumSize()); // resizable

        auto* btn = form.findChild<QPushButton*>(QStringLiteral("btnPing"));
        auto* spn = form.findChild<CaixaNumero*>(QStringLiteral("spnPing"));
        QVERIFY(btn && spn);
        QVERIFY(form.findChild<QLineEdit*>(QStringLiteral("edtHost")));
        QVERIFY(form.findChild<QListWidget*>(QStringLiteral("lstReplies")));
        QCOMPARE(btn->text(), QStringLiteral("&Ping"));
        QVERIFY(btn->isDefault());
        QCOMPARE(spn->minimum(), 1);
        QCOMPARE(spn->maximum(), 40);
        QCOMPARE(spn->value(), 4);
        bool rotulo = false;
        for (QLabel* l : form.findChildren<QLabel*>())
            rotulo |= l->text() == u"Pings:";
        QVERIFY(rotulo);

        form.DefineHost(QStringLiteral("C"));
        QCOMPARE(form.findChild<QLineEdit*>(QStringLiteral("edtHost"))->text(), u"C"_qs);
    }

    // What is typed, then how the box is left, and what it shows and reads afterwards.
    void caixaTentativas_data() {
        QTest::addColumn<QString>("digitado");
        QTest::addColumn<bool>("enter"); // Enter instead of leaving the box
        QTest::addColumn<QString>("texto");
        QTest::addColumn<int>("lido");
        QTest::newRow("100 ao sair vira 40") << "100" << false << "40" << 40;
        QTest::newRow("0 ao sair vira 1") << "0" << false << "1" << 1;
        QTest::newRow("-5 ao sair vira 1") << "-5" << false << "1" << 1;
        QTest::newRow("25 fica") << "25" << false << "25" << 25;
        QTest::newRow("vazio volta ao anterior") << "" << false << "4" << 4;
        QTest::newRow("letras recusadas") << "abc" << false << "4" << 4;
        QTest::newRow("0 com Enter fica 0") << "0" << true << "0" << 0;
        QTest::newRow("100 com Enter fica 100") << "100" << true << "100" << 100;
        QTest::newRow("vazio com Enter lê 1") << "" << true << "" << 1;
        QTest::newRow("dígitos demais recusados")
            << "12345678901" << true << "123456789" << 123456789;
    }
    void caixaTentativas() {
        QFETCH(QString, digitado);
        QFETCH(bool, enter);
        QFETCH(QString, texto);
        QFETCH(int, lido);
        TFrmTesteConexao form;
        auto* spn = form.findChild<CaixaNumero*>(QStringLiteral("spnPing"));
        auto* host = form.findChild<QLineEdit*>(QStringLiteral("edtHost"));
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        spn->setFocus();
        Edicao(spn)->selectAll();
        QTest::keyClick(spn, Qt::Key_Delete);
        QTest::keyClicks(spn, digitado);
        if (enter) {
            // Nothing to ping: the default button gets the Enter, but with a count of 0 or
            // less no attempt is made; other counts are checked without pressing it.
            QSignalSpy clique(form.findChild<QPushButton*>(QStringLiteral("btnPing")),
                              &QPushButton::clicked);
            if (lido <= 0) {
                QTest::keyClick(spn, Qt::Key_Return);
                QCOMPARE(clique.count(), 1);
            }
        } else {
            host->setFocus();
            QVERIFY(!spn->hasFocus());
        }
        QCOMPARE(Edicao(spn)->text(), texto);
        QCOMPARE(spn->ValorDigitado(), lido);
    }

    // Enter anywhere presses the default button; with 0 attempts nothing is sent, nothing is
    // listed, no box appears and the button stays usable.
    void enterSemTentativas_data() {
        QTest::addColumn<QString>("foco");
        QTest::newRow("na caixa") << "spnPing";
        QTest::newRow("no host") << "edtHost";
        QTest::newRow("na lista") << "lstReplies";
        QTest::newRow("no botão") << "btnPing";
    }
    void enterSemTentativas() {
        QFETCH(QString, foco);
        GravadorMensagens caixas;
        TFrmTesteConexao form;
        form.DefineHost(QStringLiteral("127.0.0.1"));
        auto* spn = form.findChild<CaixaNumero*>(QStringLiteral("spnPing"));
        auto* btn = form.findChild<QPushButton*>(QStringLiteral("btnPing"));
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        spn->setFocus();
        Edicao(spn)->selectAll();
        QTest::keyClicks(spn, QStringLiteral("0"));
        auto* alvo = form.findChild<QWidget*>(foco);
        QVERIFY(alvo);
        if (foco != u"spnPing") {
            alvo->setFocus(); // leaving the box turns the 0 into 1...
            QCOMPARE(Edicao(spn)->text(), QStringLiteral("1"));
            Edicao(spn)->setText(QStringLiteral("0")); // ...so put it back from outside
        }
        QSignalSpy clique(btn, &QPushButton::clicked);
        QTest::keyClick(alvo, Qt::Key_Return);
        QCOMPARE(clique.count(), 1);
        QCOMPARE(form.findChild<QListWidget*>(QStringLiteral("lstReplies"))->count(), 0);
        QVERIFY(caixas.Pedidos().isEmpty());
        QVERIFY(btn->isEnabled());
        QVERIFY(form.isVisible());
    }

    // After a run, one line on the host's database port (a local port here): whether it takes
    // a connection. An empty host or one that cannot be a name adds none.
    void linhaDaPorta_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("ouvindo");
        QTest::addColumn<QString>("estado"); // empty: no line
        QTest::newRow("porta ouvindo") << "127.0.0.1" << true << "aceita conexão";
        QTest::newRow("porta fechada") << "127.0.0.1" << false << "conexão recusada";
        QTest::newRow("host vazio") << "" << true << "";
        QTest::newRow("nome impossível") << "não é nome" << true << "";
    }
    void linhaDaPorta() {
        QFETCH(QString, host);
        QFETCH(bool, ouvindo);
        QFETCH(QString, estado);
        GravadorMensagens caixas; // the echo itself may be refused here (no ICMP rights)
        QTcpServer servidor;
        QVERIFY(servidor.listen(QHostAddress::LocalHost, 0));
        TFrmTesteConexao form;
        form.PortaBanco = ouvindo ? servidor.serverPort() : PortaFechada();
        form.DefineHost(host);
        form.findChild<CaixaNumero*>(QStringLiteral("spnPing"))->setValue(1);
        auto* lista = form.findChild<QListWidget*>(QStringLiteral("lstReplies"));
        form.btnPingClick();
        // The probe has ended once the form holds none.
        QTRY_VERIFY_WITH_TIMEOUT(!form.findChild<SondaPorta*>(), 30000);
        QStringList linhas;
        for (int i = 0; i < lista->count(); ++i)
            if (lista->item(i)->text().startsWith(u"Porta "))
                linhas.append(lista->item(i)->text());
        if (estado.isEmpty()) {
            QVERIFY2(linhas.isEmpty(), qPrintable(linhas.join(u'\n')));
            return;
        }
        QCOMPARE(linhas.size(), 1);
        QCOMPARE(lista->item(lista->count() - 1)->text(), linhas[0]); // after the replies
        const QRegularExpression forma(
            QStringLiteral(
                "^Porta %1 \\(Firebird\\) em 127\\.0\\.0\\.1: %2 em (<1|[1-9][0-9]*) ms$")
                .arg(form.PortaBanco)
                .arg(estado));
        QVERIFY2(forma.match(linhas[0]).hasMatch(), qPrintable(linhas[0]));
        QVERIFY(form.findChild<QPushButton*>(QStringLiteral("btnPing"))->isEnabled());
    }

    // Where a "Database" value points, for the lines that name the host, port and file.
    void enderecoDoBanco_data() {
        QTest::addColumn<QString>("database");
        QTest::addColumn<QStringList>("partes"); // host (empty: local), port, path
        QTest::newRow("porta") << "127.0.0.1/3051:/x.fdb"
                               << QStringList{"127.0.0.1", "3051", "/x.fdb"};
        QTest::newRow("Windows") << "SRV:C:\\V.FDB" << QStringList{"SRV", "3050", "C:\\V.FDB"};
        QTest::newRow("local") << "C:\\V\\V.FDB" << QStringList{"", "", "C:\\V\\V.FDB"};
        QTest::newRow("IPv6") << "[::1]/3051:/x.fdb" << QStringList{"::1", "3051", "/x.fdb"};
        QTest::newRow("URL") << "inet://srv:3052/C:\\x.fdb"
                             << QStringList{"srv", "3052", "C:\\x.fdb"};
    }
    void enderecoDoBanco() {
        QFETCH(QString, database);
        QFETCH(QStringList, partes);
        const EnderecoBanco e = InterpretaDatabase(database);
        QCOMPARE((QStringList{e.host, e.porta, e.caminho}), partes);
    }

    // The server's answer is read within its bounds: a short or malformed one gives no version.
    void versaoDoServidor_data() {
        QTest::addColumn<QByteArray>("resposta");
        QTest::addColumn<QString>("versao"); // empty: none
        QTest::newRow("dois textos") << QByteArray::fromHex("67090002035633610356336201") << "V3a";
        QTest::newRow("texto além do item") << QByteArray::fromHex("670400010956336101") << "";
        QTest::newRow("item além da resposta") << QByteArray::fromHex("67ff000103563361") << "";
        QTest::newRow("nenhum texto") << QByteArray::fromHex("6701000001") << "";
        QTest::newRow("outro item") << QByteArray::fromHex("0205000103563361") << "";
    }
    void versaoDoServidor() {
        QFETCH(QByteArray, resposta);
        QFETCH(QString, versao);
        QCOMPARE(LeVersaoFirebird(resposta).value_or(QString()), versao);
    }

    // After the port line, the lines on the database that DBXCONNECTIONS.INI names for the
    // edition, attached with its user: %B is a database the test made, %D its folder, %F a
    // closed port, %M a port that takes connections and never answers. Lines are patterns.
    // Rows with a client set-up run in a copy of the test: "-" hides the client library (an
    // empty file over it in a mount namespace; under Wine none is installed), other texts are
    // the firebird.conf the client reads where FIREBIRD points (an older client's habits).
    void linhasDoBanco_data() {
        QTest::addColumn<QByteArray>("secao");
        QTest::addColumn<bool>("portaDoBanco"); // the port line tries the database's port
        QTest::addColumn<QString>("cliente");
        QTest::addColumn<QStringList>("linhas");
        const QByteArray comum = "[EMPRESA]\r\nDatabase=127.0.0.1:%B\r\n" + kCredenciais;
        const QString p3050 = u"Porta 3050 \\(Firebird\\) .* aceita conexão .*"_qs;
        // The library by name and width, and where it may go (on Windows, the program's folder).
#ifdef Q_OS_WIN
        const QString passoCliente =
            u"Próximo passo: instale nesta estação o cliente Firebird de 64 bits, ou copie o "
            "fbclient\\.dll de 64 bits para a pasta do programa \\(%1\\), e teste de novo\\."_qs
                .arg(QRegularExpression::escape(
                    QDir::toNativeSeparators(QCoreApplication::applicationDirPath())));
#else
        const QString passoCliente =
            u"Próximo passo: instale nesta estação o cliente Firebird de 64 bits "
            "\\(libfbclient\\.so\\.2; no Debian, o pacote libfbclient2\\) e teste de novo\\."_qs;
#endif
        const QString recusado = u".*: o servidor recusou a criptografia ou a autenticação deste "
                                 "cliente Firebird"_qs;
        QTest::newRow("conectado")
            << comum << false << QString()
            << QStringList{
                   p3050,
                   u"Banco de dados 127\\.0\\.0\\.1:%B: conectado em (<1|[1-9][0-9]*) ms, servidor %V"_qs};
        QTest::newRow("senha errada")
            << "[EMPRESA]\r\nDatabase=127.0.0.1:%B\r\nUser_Name=SYSDBA\r\nPassword=x\r\n"_qba
            << false << QString()
            << QStringList{
                   p3050, u".*: o servidor recusou o usuário SYSDBA ou a senha"_qs,
                   u"Próximo passo: confira o usuário da suíte .*\"Config Caixa Off Line\"\\."_qs};
        QTest::newRow("arquivo inexistente")
            << "[EMPRESA]\r\nDatabase=127.0.0.1:%D/NAO.FDB\r\n" + kCredenciais << false << QString()
            << QStringList{p3050, u".*: o arquivo %D/NAO\\.FDB não existe no servidor"_qs,
                           u"Próximo passo: confira se o banco está nessa pasta .*"_qs};
        QTest::newRow("porta fechada")
            << "[EMPRESA]\r\nDatabase=127.0.0.1/%F:%B\r\n" + kCredenciais << false << QString()
            << QStringList{p3050,
                           u".*: 127\\.0\\.0\\.1 não aceita conexão na porta %F do Firebird"_qs,
                           u"Próximo passo: .*libera a porta %F\\."_qs};
        QTest::newRow("porta fechada dita uma vez")
            << "[EMPRESA]\r\nDatabase=127.0.0.1/%F:%B\r\n" + kCredenciais << true << QString()
            << QStringList{u"Porta %F .* conexão recusada .*"_qs,
                           u".*: sem conexão com o Firebird \\(veja a linha da porta acima\\)"_qs,
                           u"Próximo passo: .*libera a porta %F\\."_qs};
        QTest::newRow("porta que não responde")
            << "[EMPRESA]\r\nDatabase=127.0.0.1/%M:%B\r\n" + kCredenciais << false << QString()
            << QStringList{
                   p3050,
                   u".*: 127\\.0\\.0\\.1 não respondeu como servidor Firebird na porta %M"_qs,
                   u"Próximo passo: .*"_qs};
        QTest::newRow("sem senha")
            << "[EMPRESA]\r\nDatabase=127.0.0.1:%B\r\nUser_Name=SYSDBA\r\n"_qba << false
            << QString()
            << QStringList{
                   p3050,
                   u"Banco de dados 127\\.0\\.0\\.1:%B: a seção EMPRESA do DBXCONNECTIONS\\.INI não tem User_Name e Password"_qs};
        QTest::newRow("sem a seção")
            << "[CARTORIO]\r\nDatabase=127.0.0.1:%B\r\n"_qba << false << QString()
            << QStringList{
                   p3050,
                   u"Banco de dados: a seção EMPRESA do DBXCONNECTIONS\\.INI não existe ou não tem Database"_qs};
        // Under Wine it runs with no server too, and maybe with nothing on 3050: the database
        // names another port, so the port line never speaks for it.
        QTest::newRow("cliente ausente")
            << "[EMPRESA]\r\nDatabase=127.0.0.1/%M:%B\r\n" + kCredenciais << false << u"-"_qs
            << QStringList{
                   u"Porta 3050 \\(Firebird\\) .*"_qs,
                   u".*: o cliente Firebird \\(%1\\) não está instalado nesta estação"_qs.arg(
                       NomeBibliotecaClienteFirebird()),
                   passoCliente};
        // The server's problem is said first: the client alone would not do.
        QTest::newRow("cliente ausente e porta fechada")
            << "[EMPRESA]\r\nDatabase=127.0.0.1/%F:%B\r\n" + kCredenciais << true << u"-"_qs
            << QStringList{
                   u"Porta %F .* conexão recusada .*"_qs,
                   u".*: sem conexão com o Firebird \\(veja a linha da porta acima\\)"_qs,
                   u"Próximo passo: .*libera a porta %F\\."_qs,
                   u".*: o cliente Firebird \\(%1\\) não está instalado nesta estação"_qs.arg(
                       NomeBibliotecaClienteFirebird()),
                   passoCliente};
        QTest::newRow("sem criptografia")
            << comum << false << u"WireCrypt = Disabled"_qs
            << QStringList{
                   p3050, recusado,
                   u"Próximo passo: instale nesta estação o cliente Firebird da versão do servidor .*"_qs};
        QTest::newRow("só a autenticação antiga")
            << comum << false << u"AuthClient = Legacy_Auth"_qs
            << QStringList{u"Porta 3050 .*"_qs, recusado,
                           u"Próximo passo: .*firebird\\.conf do servidor\\."_qs};
    }
    void linhasDoBanco() {
        QFETCH(QByteArray, secao);
        QFETCH(bool, portaDoBanco);
        QFETCH(QString, cliente);
        QFETCH(QStringList, linhas);
        const bool copia = qEnvironmentVariableIsSet(kCopia);
        const bool instalado = QLibrary(NomeBibliotecaClienteFirebird()).load();
        if (!copia && !(cliente == u"-" && !instalado)) { // under Wine the row runs here
            if (banco_.isEmpty())
                QSKIP(qPrintable(motivo_));
            if (!cliente.isEmpty()) {
                QVERIFY2(RodaNumaCopia(cliente), qPrintable(copia_));
                return;
            }
        }
        QTcpServer mudo; // the kernel takes the connection; nobody ever answers
        QVERIFY(mudo.listen(QHostAddress::LocalHost, 0));
        const QString fechada = QString::number(PortaFechada());
        const auto troca = [&](QString t, bool padrao) {
            const auto e = [&](const QString& v) {
                return padrao ? QRegularExpression::escape(v) : v;
            };
            return t.replace(u"%B"_qs, e(banco_))
                .replace(u"%D"_qs, e(QFileInfo(banco_).path()))
                .replace(u"%F"_qs, fechada)
                .replace(u"%M"_qs, QString::number(mudo.serverPort()))
                .replace(u"%V"_qs, e(ServidorFirebird::Versao()));
        };
        TFrmTesteConexao form;
        form.TempoLimiteBancoS = 1;
        form.PortaBanco = portaDoBanco ? fechada.toUShort() : kPortaFirebird;
        const QStringList obtidas =
            LinhasDepoisDoPing(form, troca(QString::fromUtf8(secao), false).toUtf8());
        QCOMPARE(obtidas.size(), linhas.size());
        for (qsizetype i = 0; i < linhas.size(); ++i)
            QVERIFY2(QRegularExpression(u'^' + troca(linhas[i], true) + u'$')
                         .match(obtidas[i])
                         .hasMatch(),
                     qPrintable(obtidas.join(u'\n')));
    }

    // A second run drops the answer of the first one, still under way when it begins.
    void respostaAtrasadaDescartada() {
        if (banco_.isEmpty())
            QSKIP(qPrintable(motivo_));
        QTcpServer mudo;
        QVERIFY(mudo.listen(QHostAddress::LocalHost, 0));
        TFrmTesteConexao form;
        form.TempoLimiteBancoS = 2;
        form.PortaBanco = 0; // no port line: the check starts as soon as the echoes end
        LinhasDepoisDoPing(form,
                           "[EMPRESA]\r\nDatabase=127.0.0.1/" +
                               QByteArray::number(mudo.serverPort()) + ":/x\r\n" + kCredenciais,
                           false);
        QCOMPARE(VerificacoesBancoEmCurso(), 1);
        const QStringList linhas = LinhasDepoisDoPing(
            form, "[EMPRESA]\r\nDatabase=127.0.0.1:" + banco_.toUtf8() + "\r\n" + kCredenciais);
        QCOMPARE(linhas.size(), 1);
        QVERIFY2(linhas[0].contains(u"conectado em"), qPrintable(linhas[0]));
    }

    // The client library, at its first attach, installs SIGTERM and SIGINT handlers that leave
    // the process running: the program must still end on TERM after an attach, to a database
    // or to the service manager (here to a closed port: no server needed).
    void terminaComSinal_data() {
        QTest::addColumn<bool>("servico");
        QTest::newRow("banco") << false;
        QTest::newRow("gerenciador de serviços") << true;
    }
    void terminaComSinal() {
#if defined(Q_OS_WIN)
        QSKIP("sinais POSIX");
#else
        QFETCH(bool, servico);
        const QString fechada = u"127.0.0.1/%1"_qs.arg(PortaFechada());
        if (qEnvironmentVariableIsSet(kCopia)) {
            TServicoSeguranca s;
            s.NomeServidor = fechada;
            if (servico)
                QVERIFY_THROWS_EXCEPTION(ErroServicoFirebird, s.Anexa());
            else
                AnexaBanco({fechada + u":/x"_qs, u"A"_qs, u"B"_qs}, NomeBibliotecaClienteFirebird(),
                           5);
            std::puts("anexo feito");
            std::fflush(stdout);
            QThread::sleep(120); // until the signal
            return;
        }
        if (!QLibrary(NomeBibliotecaClienteFirebird()).load())
            QSKIP("sem o cliente Firebird aqui");
        QProcess copia;
        QProcessEnvironment ambiente = QProcessEnvironment::systemEnvironment();
        ambiente.insert(QLatin1String(kCopia), u"-"_qs);
        IniciaCopia(copia, ambiente);
        // The event loop of qWaitFor may already have read the copy's output into the buffer,
        // so what has come is gathered whether or not more arrives.
        QByteArray saida;
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         copia.waitForReadyRead(100);
                         saida += copia.readAll();
                         return saida.contains("anexo feito");
                     },
                     60000),
                 saida.constData());
        copia.terminate(); // SIGTERM
        const bool terminou = copia.waitForFinished(60000);
        copia.kill();
        copia.waitForFinished();
        QVERIFY2(terminou, "SIGTERM não encerrou o processo");
        QCOMPARE(copia.exitStatus(), QProcess::CrashExit);
#endif
    }

    void fecharSoEsconde() {
        QWidget dono;
        QPointer<TFrmTesteConexao> form = new TFrmTesteConexao(&dono);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form));
        QVERIFY(form->close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(form);
        QVERIFY(form->isHidden());
        QCOMPARE(FrmTesteConexao, form.data());
        form->show(); // opened again, same lines and counter
        QVERIFY(form->isVisible());
        delete form.data();
        QCOMPARE(FrmTesteConexao, nullptr);
    }
};

QTEST_MAIN(TstTesteConexao)
#include "tst_testeconexao.moc"
