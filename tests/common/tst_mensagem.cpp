#include "common/Aplicacao.h"
#include "common/Mensagem.h"
#include "support/GravadorMensagens.h"
#include "support/Instalacao.h"
#include "support/RegistroMensagens.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <stdexcept>

namespace {

const QString kTitulo = QStringLiteral("Gerenciador");

// An object whose events throw, as a handler with an uncaught error would.
class Lancador : public QObject {
public:
    int eventos = 0;

protected:
    bool event(QEvent* e) override {
        if (e->type() != QEvent::User)
            return QObject::event(e);
        ++eventos;
        if (eventos == 1)
            throw std::runtime_error("Falha na leitura de CONEXOES.INI");
        if (eventos == 2)
            throw 42;
        return true;
    }
};

// Runs in a child process (--sem-resposta): a choice box that the test did not script.
class TstSemResposta : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void caixaSemResposta() {
        GravadorMensagens gravador;
        const RespostaMensagem r =
            MostraMensagem(QStringLiteral("Deseja excluir a conexão?"), kTitulo,
                           IconeMensagem::Informacao, BotoesMensagem::OkCancelar);
        qInfo("continuou: %s", r == RespostaMensagem::Cancelar ? "Cancelar" : "Ok");
    }
};

// Runs in a child process (--registro ARQUIVO), the boxes written to ARQUIVO.
int Registra(const QString& arquivo) {
    RegistraMensagensEm(arquivo);
    const RespostaMensagem r1 =
        MostraMensagem(u"Conexão alterada com sucesso!"_qs, kTitulo, IconeMensagem::Informacao);
    const RespostaMensagem r2 = MostraMensagem(
        QStringLiteral("Linha 1\rLinha 2\r\nC:\\VELTO\\\tfim"), QStringLiteral("Gerenciador VELTO"),
        IconeMensagem::Aviso, BotoesMensagem::OkCancelar);
    ExibeErroGeral(QStringLiteral("Erro geral"));
    MostraMensagem(QStringLiteral("!"), QStringLiteral("VELTO"), IconeMensagem::Exclamacao);
    return r1 == RespostaMensagem::Ok && r2 == RespostaMensagem::Ok ? 0 : 1;
}

} // namespace

class TstMensagem : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void gravadorRegistraEmOrdem() {
        GravadorMensagens gravador;
        gravador.Responde(RespostaMensagem::Cancelar);
        gravador.Responde(RespostaMensagem::Ok);
        // A box with only OK does not take a scripted answer.
        QCOMPARE(MostraMensagem(QStringLiteral("um"), kTitulo, IconeMensagem::Informacao),
                 RespostaMensagem::Ok);
        QCOMPARE(MostraMensagem(QStringLiteral("dois\r"), QStringLiteral("VELTO"),
                                IconeMensagem::Aviso, BotoesMensagem::OkCancelar),
                 RespostaMensagem::Cancelar);
        QCOMPARE(MostraMensagem(QStringLiteral("três"), QStringLiteral("GERENCIADOR"),
                                IconeMensagem::Erro, BotoesMensagem::Ok),
                 RespostaMensagem::Ok);
        QCOMPARE(MostraMensagem(QStringLiteral("quatro"), kTitulo, IconeMensagem::Exclamacao,
                                BotoesMensagem::OkCancelar),
                 RespostaMensagem::Ok);
        QCOMPARE(gravador.Textos(),
                 (QStringList{"um", "dois\r", QStringLiteral("três"), "quatro"}));
        const auto& p = gravador.Pedidos();
        QCOMPARE(p[1].titulo, QStringLiteral("VELTO"));
        QCOMPARE(p[1].icone, IconeMensagem::Aviso);
        QCOMPARE(p[1].botoes, BotoesMensagem::OkCancelar);
        QCOMPARE(p[2].titulo, QStringLiteral("GERENCIADOR"));
        QCOMPARE(p[2].icone, IconeMensagem::Erro);
        QCOMPARE(p[2].botoes, BotoesMensagem::Ok);
        QCOMPARE(p[3].icone, IconeMensagem::Exclamacao);
        gravador.Limpa();
        QVERIFY(gravador.Pedidos().isEmpty());
    }

    void gravadorSaiDeCena() {
        int chamadas = 0;
        {
            GravadorMensagens gravador;
            MostraMensagem(QStringLiteral("x"), kTitulo, IconeMensagem::Informacao);
            QCOMPARE(gravador.Pedidos().size(), 1);
        }
        // Without a recorder the seam is empty again; a new one starts from nothing.
        DefineRespondeMensagem([&chamadas](const PedidoMensagem&) {
            ++chamadas;
            return RespostaMensagem::Cancelar;
        });
        QCOMPARE(MostraMensagem(QStringLiteral("y"), kTitulo, IconeMensagem::Informacao,
                                BotoesMensagem::OkCancelar),
                 RespostaMensagem::Cancelar);
        DefineRespondeMensagem({});
        QCOMPARE(chamadas, 1);
    }

    // A choice box with no scripted answer fails the test at once instead of hanging it.
    void caixaSemRespostaFalhaOTeste() {
        QProcess filho;
        filho.setProcessChannelMode(QProcess::MergedChannels);
        filho.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--sem-resposta")});
        QVERIFY2(filho.waitForFinished(120000), "a caixa sem resposta prendeu o teste");
        const QString saida = QString::fromUtf8(filho.readAll());
        QCOMPARE(filho.exitStatus(), QProcess::NormalExit);
        QVERIFY2(filho.exitCode() != 0, qPrintable(saida));
        QVERIFY2(saida.contains(QLatin1String("FAIL!  : TstSemResposta::caixaSemResposta()")),
                 qPrintable(saida));
        // Up to the first accent: a Windows console writes the rest in its own code page.
        QVERIFY2(saida.contains(u"caixa sem resposta prevista: Deseja excluir a conex"_qs),
                 qPrintable(saida));
        QVERIFY2(saida.contains(QLatin1String("continuou: Cancelar")), qPrintable(saida));
    }

    void registroEmArquivo() {
        Instalacao inst;
        const QString registro = inst.Caminho(QStringLiteral("caixas.txt"));
        QProcess filho;
        filho.setProcessChannelMode(QProcess::ForwardedChannels);
        filho.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--registro"), registro});
        QVERIFY(filho.waitForFinished(120000));
        QCOMPARE(filho.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(inst.Le(QStringLiteral("caixas.txt"))),
                 u"Gerenciador\tinformacao\tConexão alterada com sucesso!\n"
                 u"Gerenciador VELTO\taviso\tLinha 1\\rLinha 2\\r\\nC:\\\\VELTO\\\\\\tfim\n"
                 u"Gerenciador\terro\tErro geral\n"
                 u"VELTO\texclamacao\t!\n"_qs);
    }

    // The program that ships answers no box behind the user's back: the log of the boxes is
    // only in the build the tests run, and the shipped program does not even name its variable.
    void programaSemRegistro() {
        const QString programa =
            QDir::toNativeSeparators(qEnvironmentVariable("GERENCIADOR_PROGRAMA"));
        QFile f(programa);
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(programa));
        const QByteArray bytes = f.readAll();
        const QString nome = QStringLiteral("GERENCIADOR_REGISTRO_MENSAGENS");
        QVERIFY(!bytes.contains(nome.toLatin1()));
        QVERIFY(!bytes.contains(
            QByteArray(reinterpret_cast<const char*>(nome.utf16()), nome.size() * 2)));
    }

    // A real box with a third button: each of its three buttons answers for itself.
    void terceiroBotao_data() {
        QTest::addColumn<QString>("clicado");
        QTest::addColumn<RespostaMensagem>("resposta");
        QTest::newRow("Usar") << "Usar alfa" << RespostaMensagem::Extra;
        QTest::newRow("OK") << "OK" << RespostaMensagem::Ok;
        QTest::newRow("Cancelar") << "Cancelar" << RespostaMensagem::Cancelar;
    }
    void terceiroBotao() {
        QFETCH(QString, clicado);
        QFETCH(RespostaMensagem, resposta);
        QTimer::singleShot(0, [&] {
            if (auto* caixa = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                for (QAbstractButton* b : caixa->buttons())
                    if (b->text().remove(u'&') == clicado)
                        b->click();
        });
        QCOMPARE(MostraMensagem(u"Gravar?"_qs, kTitulo, IconeMensagem::Informacao,
                                BotoesMensagem::OkCancelar, u"Usar alfa"_qs),
                 resposta);
    }

    // An error no handler catches reaches the general error display; the program goes on.
    void erroNaoTratadoNoEvento() {
        GravadorMensagens gravador;
        Lancador lancador;
        QCoreApplication::postEvent(&lancador, new QEvent(QEvent::User));
        QCoreApplication::postEvent(&lancador, new QEvent(QEvent::User));
        QCoreApplication::postEvent(&lancador, new QEvent(QEvent::User));
        bool timer = false;
        QTimer::singleShot(0, &lancador, [] { throw std::runtime_error("Erro no timer"); });
        QTimer::singleShot(0, &lancador, [&timer] { timer = true; });
        QTRY_VERIFY(timer);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(lancador.eventos, 3);
        QCOMPARE(gravador.Textos(), (QStringList{"Falha na leitura de CONEXOES.INI",
                                                 "Erro desconhecido.", "Erro no timer"}));
        for (const PedidoMensagem& p : gravador.Pedidos()) {
            QCOMPARE(p.titulo, kTitulo);
            QCOMPARE(p.icone, IconeMensagem::Erro);
            QCOMPARE(p.botoes, BotoesMensagem::Ok);
        }
    }
};

int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], "--registro") == 0)
        return Registra(QString::fromLocal8Bit(argv[2]));
    if (argc >= 2 && qstrcmp(argv[1], "--sem-resposta") == 0) {
        QCoreApplication app(argc, argv);
        TstSemResposta teste;
        return QTest::qExec(&teste, 1, argv);
    }
    Aplicacao app(argc, argv);
    TstMensagem teste;
    return QTest::qExec(&teste, argc, argv);
}

#include "tst_mensagem.moc"
