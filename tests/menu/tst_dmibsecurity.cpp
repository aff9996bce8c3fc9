#include "common/Mensagem.h"
#include "menu/DMIBSecurity.h"
#include "menu/ServicoSeguranca.h"
#include "support/Instalacao.h"
#include "support/ServidorFirebird.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>

// The suite's user VELTO on the Firebird server that scripts/servicos/firebird runs on
// 127.0.0.1:3050; the server is checked with Firebird's own tools. Tests that need the server
// skip when it is not running; the users they create are removed again.

namespace {

const QString Sucesso = QStringLiteral("Usuário criado com sucesso.");
const QString Erro = QStringLiteral("Erro ao criar usuário.");
const QString UsuarioComum = QStringLiteral("GERENCIADOR_TESTE_COMUM");
const QString SenhaComum = QStringLiteral("comum123");

// One box as shown, and whether the service connection was open at that moment.
struct Caixa {
    QString texto, titulo;
    IconeMensagem icone;
    bool conectado;
};

// Records the boxes of one call of CriaUsuarioVELTO.
QList<Caixa> Cria(TFDMIBSecurity& modulo) {
    QList<Caixa> caixas;
    DefineRespondeMensagem([&](const PedidoMensagem& p) {
        caixas.append({p.texto, p.titulo, p.icone, modulo.IBSecurityService->Ativo()});
        return RespostaMensagem::Ok;
    });
    modulo.CriaUsuarioVELTO();
    DefineRespondeMensagem({});
    return caixas;
}

std::optional<ServidorFirebird::Usuario> Procura(const QString& nome) {
    for (const ServidorFirebird::Usuario& u : ServidorFirebird::Usuarios())
        if (u.UserName == nome)
            return u;
    return std::nullopt;
}

// A port of 127.0.0.1 on which nothing listens (taken and given back at once).
quint16 PortaLivre() {
    QTcpServer s;
    if (!s.listen(QHostAddress::LocalHost, 0))
        return 0;
    return s.serverPort();
}

// Removes VELTO and "velto" (only SQL reaches a name in lower case; fbsvcmgr upper-cases it).
void RemoveUsuariosDeTeste() {
    const QString sysdba = QLatin1String(ServidorFirebird::SenhaSysdba);
    QString lista;
    ServidorFirebird::Fbsvcmgr(QStringLiteral("SYSDBA"), sysdba, {"action_display_user"}, &lista);
    if (lista.contains(QRegularExpression(QStringLiteral("(^|\\n)VELTO "))))
        ServidorFirebird::Fbsvcmgr(QStringLiteral("SYSDBA"), sysdba,
                                   {"action_delete_user", "sec_username", "VELTO"});
    if (lista.contains(QRegularExpression(QStringLiteral("(^|\\n)velto "))))
        ServidorFirebird::ExecutaSql({QStringLiteral("drop user \"velto\"")});
}

} // namespace

// QSKIP returns from the function it is written in, so this is a macro, not a helper.
#define EXIGE_SERVIDOR()                                                                           \
    do {                                                                                           \
        if (!servidor_)                                                                            \
            QSKIP(qPrintable(motivo_));                                                            \
    } while (false)

class TstDMIBSecurity : public QObject {
    Q_OBJECT
    bool servidor_ = false;
    QString motivo_;

private Q_SLOTS:
    void initTestCase() {
        servidor_ = ServidorFirebird::Disponivel(&motivo_);
        if (servidor_) {
            ServidorFirebird::Fbsvcmgr(
                QStringLiteral("SYSDBA"), QLatin1String(ServidorFirebird::SenhaSysdba),
                {"action_add_user", "sec_username", UsuarioComum, "sec_password", SenhaComum});
        }
    }
    void cleanupTestCase() {
        if (servidor_) {
            RemoveUsuariosDeTeste();
            ServidorFirebird::Fbsvcmgr(QStringLiteral("SYSDBA"),
                                       QLatin1String(ServidorFirebird::SenhaSysdba),
                                       {"action_delete_user", "sec_username", UsuarioComum});
        }
    }
    // Each test starts without VELTO or "velto"; the last one's are removed at the end.
    void init() {
        if (servidor_)
            RemoveUsuariosDeTeste();
    }

    void configuracao() {
        TFDMIBSecurity modulo;
        QCOMPARE(FDMIBSecurity, &modulo);
        QCOMPARE(modulo.IBSecurityService->NomeServico(), QStringLiteral("127.0.0.1:service_mgr"));
        QCOMPARE(modulo.IBSecurityService->objectName(), QStringLiteral("IBSecurityService"));
        const std::optional<QByteArray> bloco =
            MontaBlocoAnexacao(modulo.IBSecurityService->Parametros, 0);
        QVERIFY(bloco.has_value());
        QCOMPARE(*bloco, QByteArray::fromHex("02021c06") + "SYSDBA" + QByteArray::fromHex("1d09") +
                             "plumbvext");
    }

    // The program starts where no Firebird client is installed: it does not link the client,
    // it loads it when the user is created.
    void programaNaoDependeDoCliente() {
#if defined(_WIN32)
        QSKIP("readelf lê só executáveis ELF");
#else
        QProcess readelf;
        readelf.start(QStringLiteral("readelf"), {QStringLiteral("-d"), CaminhoPrograma()});
        if (!readelf.waitForStarted())
            QSKIP("readelf (binutils) não está instalado");
        QVERIFY(readelf.waitForFinished());
        const QString dependencias = QString::fromUtf8(readelf.readAllStandardOutput());
        QVERIFY2(dependencias.contains(QLatin1String("(NEEDED)")), qPrintable(dependencias));
        QVERIFY2(!dependencias.contains(QLatin1String("fbclient")), qPrintable(dependencias));
#endif
    }

    // First call: the user is added with its names and password; the message comes while the
    // connection is still open, and the connection is closed afterwards.
    void criaUsuario() {
        EXIGE_SERVIDOR();
        QVERIFY(!Procura(QStringLiteral("VELTO")));
        TFDMIBSecurity modulo;
        const QList<Caixa> caixas = Cria(modulo);
        QCOMPARE(caixas.size(), 1);
        QCOMPARE(caixas[0].texto, Sucesso);
        QCOMPARE(caixas[0].titulo, QStringLiteral("VELTO"));
        QCOMPARE(caixas[0].icone, IconeMensagem::Informacao);
        QVERIFY(caixas[0].conectado);
        QVERIFY(!modulo.IBSecurityService->Ativo());

        const std::optional<ServidorFirebird::Usuario> velto = Procura(QStringLiteral("VELTO"));
        QVERIFY(velto);
        QCOMPARE(velto->FirstName, QStringLiteral("Vestranox"));
        QCOMPARE(velto->MiddleName, QString());
        QCOMPARE(velto->LastName, QStringLiteral("Zidiredavaz"));

        QString saida;
        QVERIFY(ServidorFirebird::Fbsvcmgr(QStringLiteral("SYSDBA"),
                                           QLatin1String(ServidorFirebird::SenhaSysdba),
                                           {"action_display_user"}, &saida));
        QVERIFY2(saida.contains(QRegularExpression(
                     QStringLiteral("\\nVELTO +Vestranox +Zidiredavaz +0 +0 +no"))),
                 qPrintable(saida));
        QVERIFY2(ServidorFirebird::Fbsvcmgr(QStringLiteral("VELTO"), QStringLiteral("dravonel"),
                                            {"info_server_version"}, &saida),
                 qPrintable(saida));
    }

    // Later calls send nothing: a user changed meanwhile (names, password) stays as it is, and
    // the success message shows again.
    void segundaChamadaNadaMuda() {
        EXIGE_SERVIDOR();
        {
            TFDMIBSecurity modulo;
            QCOMPARE(Cria(modulo).size(), 1);
        }
        QString saida;
        QVERIFY2(ServidorFirebird::ExecutaSql(
                     {QStringLiteral(
                         "alter user VELTO password 'outra' firstname 'Outro' lastname 'Nome'")},
                     &saida),
                 qPrintable(saida));
        for (int vez = 0; vez < 2; ++vez) {
            TFDMIBSecurity modulo;
            const QList<Caixa> caixas = Cria(modulo);
            QCOMPARE(caixas.size(), 1);
            QCOMPARE(caixas[0].texto, Sucesso);
            QCOMPARE(caixas[0].icone, IconeMensagem::Informacao);
        }
        const std::optional<ServidorFirebird::Usuario> velto = Procura(QStringLiteral("VELTO"));
        QVERIFY(velto);
        QCOMPARE(velto->FirstName, QStringLiteral("Outro"));
        QCOMPARE(velto->LastName, QStringLiteral("Nome"));
        QVERIFY(ServidorFirebird::Fbsvcmgr(QStringLiteral("VELTO"), QStringLiteral("outra"),
                                           {"info_server_version"}));
        QVERIFY(!ServidorFirebird::Fbsvcmgr(QStringLiteral("VELTO"), QStringLiteral("dravonel"),
                                            {"info_server_version"}));
    }

    // A user listed as "velto" (a quoted name in SQL keeps its case) is the same user: no
    // VELTO is added beside it.
    void nomeMinusculoContaComoMesmo() {
        EXIGE_SERVIDOR();
        QString saida;
        QVERIFY2(ServidorFirebird::ExecutaSql(
                     {QStringLiteral("create user \"velto\" password 'minusculo'")}, &saida),
                 qPrintable(saida));
        QVERIFY(Procura(QStringLiteral("velto")));
        TFDMIBSecurity modulo;
        const QList<Caixa> caixas = Cria(modulo);
        QCOMPARE(caixas.size(), 1);
        QCOMPARE(caixas[0].texto, Sucesso);
        QVERIFY(!Procura(QStringLiteral("VELTO")));
        QVERIFY(Procura(QStringLiteral("velto")));
    }

    // Every failure ends in the one error message, after the connection is closed, and leaves
    // the server without the user.
    void falhas_data() {
        QTest::addColumn<bool>("precisaServidor");
        QTest::addColumn<QString>("servidor");       // empty: the module's own
        QTest::addColumn<QStringList>("parametros"); // empty: the module's own
        QTest::addColumn<QString>("biblioteca");     // empty: the system's client
        QTest::addColumn<bool>("mudo");              // a listener that never answers
        QTest::newRow("senha do administrador recusada")
            << true << QString() << QStringList{"user_name=SYSDBA", "password=errada"} << QString()
            << false;
        QTest::newRow("inclusão recusada (usuário sem poder)")
            << true << QString()
            << QStringList{"user_name=" + UsuarioComum, "password=" + SenhaComum} << QString()
            << false;
        QTest::newRow("nenhum servidor na porta")
            << false << QStringLiteral("127.0.0.1/%1").arg(PortaLivre()) << QStringList{}
            << QString() << false;
        QTest::newRow("porta que aceita e não responde")
            << false << QString() << QStringList{} << QString() << true;
        QTest::newRow("cliente Firebird ausente")
            << false << QString() << QStringList{} << QStringLiteral("libfbclient-inexistente.so.2")
            << false;
#if !defined(_WIN32)
        QTest::newRow("biblioteca sem a API de serviços")
            << false << QString() << QStringList{} << QStringLiteral("libc.so.6") << false;
#endif
    }
    void falhas() {
        QFETCH(bool, precisaServidor);
        QFETCH(QString, servidor);
        QFETCH(QStringList, parametros);
        QFETCH(QString, biblioteca);
        QFETCH(bool, mudo);
        if (precisaServidor)
            EXIGE_SERVIDOR();

        QTcpServer calado; // the kernel takes the connection; nobody ever reads from it
        TFDMIBSecurity modulo;
        TServicoSeguranca& servico = *modulo.IBSecurityService;
        if (mudo) {
            QVERIFY(calado.listen(QHostAddress::LocalHost, 0));
            servico.NomeServidor = QStringLiteral("127.0.0.1/%1").arg(calado.serverPort());
            servico.TempoLimiteConexao = 1;
        }
        if (!servidor.isEmpty())
            servico.NomeServidor = servidor;
        if (!parametros.isEmpty())
            servico.Parametros = parametros;
        if (!biblioteca.isEmpty())
            servico.BibliotecaCliente = biblioteca;

        const QList<Caixa> caixas = Cria(modulo);
        QCOMPARE(caixas.size(), 1);
        QCOMPARE(caixas[0].texto, Erro);
        QCOMPARE(caixas[0].titulo, QStringLiteral("VELTO"));
        QCOMPARE(caixas[0].icone, IconeMensagem::Erro);
        QVERIFY(!caixas[0].conectado);
        QVERIFY(!servico.Ativo());
        if (servidor_)
            QVERIFY(!Procura(QStringLiteral("VELTO")));
    }

    // The list read through answers of every size, pieces cut anywhere, is the server's list.
    void listaEmPedacos_data() {
        QTest::addColumn<int>("tamanho");
        QTest::newRow("16 bytes") << 16;
        QTest::newRow("17 bytes") << 17;
        QTest::newRow("64 bytes") << 64;
        QTest::newRow("padrão") << 16384;
    }
    void listaEmPedacos() {
        QFETCH(int, tamanho);
        EXIGE_SERVIDOR();
        QVERIFY(ServidorFirebird::ExecutaSql(
            {QStringLiteral("create user \"velto\" password 'x' firstname 'Primeiro' "
                            "middlename 'Do Meio' lastname 'Ultimo'")}));
        TFDMIBSecurity modulo;
        TServicoSeguranca& servico = *modulo.IBSecurityService;
        servico.TamanhoResposta = static_cast<unsigned short>(tamanho);
        servico.Anexa();
        servico.ListaUsuarios();
        servico.Desanexa();

        QStringList lidos, esperados;
        for (const UsuarioFirebird& u : servico.Usuarios())
            lidos << QString::fromUtf8(u.UserName + '|' + u.FirstName + '|' + u.MiddleName + '|' +
                                       u.LastName);
        for (const ServidorFirebird::Usuario& u : ServidorFirebird::Usuarios())
            esperados << u.UserName + u'|' + u.FirstName + u'|' + u.MiddleName + u'|' + u.LastName;
        lidos.sort();
        esperados.sort();
        QCOMPARE(lidos, esperados);
        QVERIFY(esperados.contains(QStringLiteral("velto|Primeiro|Do Meio|Ultimo")));
    }

    // An answer buffer too small for any piece: the server marks its answer truncated, and
    // that is an error, never a list read as complete.
    void respostaSemEspaco_data() {
        QTest::addColumn<int>("tamanho");
        QTest::newRow("1 byte") << 1;
        QTest::newRow("4 bytes") << 4;
    }
    void respostaSemEspaco() {
        QFETCH(int, tamanho);
        EXIGE_SERVIDOR();
        TFDMIBSecurity modulo;
        TServicoSeguranca& servico = *modulo.IBSecurityService;
        servico.TamanhoResposta = static_cast<unsigned short>(tamanho);
        servico.Anexa();
        QVERIFY_THROWS_EXCEPTION(ErroServicoFirebird, servico.ListaUsuarios());
        QVERIFY(servico.Usuarios().isEmpty());
        servico.Desanexa();
    }
};

QTEST_GUILESS_MAIN(TstDMIBSecurity)
#include "tst_dmibsecurity.moc"
