// The settings panel as the user reaches it: the main window's settings button on a real
// installation folder, the panel's modal run, its items and the forms they open.
#include "conexoes/Conexoes.h"
#include "conexoes/TesteConexao.h"
#include "menu/Menu.h"
#include "principal/Principal.h"
#include "support/GravadorMensagens.h"
#include "support/Instalacao.h"
#include "support/ServidorFirebird.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

namespace {

const QByteArray kUmServidor = "[MATRIZ]\r\nServidor=10.0.0.5\r\nTipo=Linux\r\nStatus=A\r\n";
const QByteArray kDoisServidores = kUmServidor + "[LOJA]\r\nServidor=C\r\nTipo=Windows\r\n"
                                                 "Status=I\r\n";
const char* const kLinks[] = {"LblAtualizar", "LblCarregarBackup", "LblTestarConexao",
                              "LblSuporte",   "LblSuporteRemoto",  "LblUsuarioVELTO",
                              "LblBotoes"};
// Set in the copy of this test that runs where nothing listens on 127.0.0.1.
constexpr char kSemServidor[] = "GERENCIADOR_MENU_SEM_SERVIDOR";

template <typename T> T* Filho(QWidget* w, const char* nome) {
    T* r = w->findChild<T*>(QLatin1String(nome));
    if (!r)
        qWarning("%s não encontrado", nome);
    return r;
}

// Runs `passo` as soon as the event loop that is about to start (a modal run) processes
// events. The timer dies with the caller's scope, so a run that never starts leaves nothing.
struct Depois {
    QTimer timer;
    explicit Depois(std::function<void()> passo) {
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, std::move(passo));
        timer.start(0);
    }
};

// Opens the panel with the settings button and runs `dentro` inside its modal run; the panel
// is closed afterwards if still open. Returns once the panel's run has ended.
void ComPainel(TFrmPrincipal& janela, const std::function<void(TFrmMenu*)>& dentro) {
    QPointer<TFrmMenu> painel;
    Depois d([&] {
        painel = FrmMenu;
        if (painel)
            dentro(painel);
        if (painel && painel->isVisible())
            painel->close();
    });
    Filho<QToolButton>(&janela, "SpdBtnMenu")->click();
    QVERIFY2(d.timer.isActive() == false, "o painel não abriu");
}

// Where the user clicks a label: the left button goes down and up over it.
void Clica(QWidget* w) {
    QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
}

} // namespace

class TstMenu : public QObject {
    Q_OBJECT
    Instalacao inst_;
    std::unique_ptr<TFrmPrincipal> janela_;

    // A fresh main window on the installation as it is now.
    TFrmPrincipal& Janela() {
        janela_ = std::make_unique<TFrmPrincipal>(inst_.Caminho(QStringLiteral("Gerenciador")));
        janela_->move(100, 50);
        janela_->show();
        if (!QTest::qWaitForWindowActive(janela_.get()))
            qWarning("janela principal não ativou");
        return *janela_;
    }

private Q_SLOTS:
    void init() { inst_.Grava(QStringLiteral("CONEXOES.INI"), kDoisServidores); }
    void cleanup() {
        janela_.reset();
        QCOMPARE(FrmMenu, nullptr);
    }

    // Created by the settings button, owned by the main window, modal, borderless, placed
    // beside the main window, with the version; closed by "X" and then freed.
    void abreEFecha() {
        GravadorMensagens caixas;
        TFrmPrincipal& janela = Janela();
        QPointer<TFrmMenu> visto;
        ComPainel(janela, [&](TFrmMenu* painel) {
            visto = painel;
            QCOMPARE(painel->parentWidget(), &janela);
            QCOMPARE(QApplication::activeModalWidget(), painel);
            QVERIFY(painel->windowFlags() & Qt::FramelessWindowHint);
            QCOMPARE(painel->size(), QSize(120, 376));
            QCOMPARE(painel->pos(), QPoint(414, 80));
            QCOMPARE(painel->windowTitle(), u"Menu"_qs);
            QCOMPARE(Filho<QLabel>(painel, "LblVersao")->text(),
                     u"Versão "_qs + QLatin1String(GERENCIADOR_VERSAO_PROJETO));
            // Unrolled by the time it is in use: nothing of it stays hidden.
            QTRY_VERIFY(painel->mask().isEmpty());
            Clica(Filho<QLabel>(painel, "LblX"));
            QVERIFY(!painel->isVisible());
        });
        QVERIFY(visto.isNull());
        QVERIFY(caixas.Pedidos().isEmpty());
    }

    // Escape closes the panel whichever control has the focus; other keys do not.
    void esc_data() {
        QTest::addColumn<QString>("foco");
        QTest::addColumn<int>("tecla");
        QTest::addColumn<bool>("fecha");
        QTest::newRow("Esc no Incluir") << "BitBtnIncluir" << int(Qt::Key_Escape) << true;
        QTest::newRow("Esc no Excluir") << "BitBtnExcluir" << int(Qt::Key_Escape) << true;
        QTest::newRow("Esc no painel") << "" << int(Qt::Key_Escape) << true;
        QTest::newRow("F1 no Alterar") << "BitBtn2" << int(Qt::Key_F1) << false;
    }
    void esc() {
        QFETCH(QString, foco);
        QFETCH(int, tecla);
        QFETCH(bool, fecha);
        GravadorMensagens caixas;
        ComPainel(Janela(), [&](TFrmMenu* painel) {
            QWidget* alvo = foco.isEmpty() ? painel : painel->findChild<QWidget*>(foco);
            QVERIFY(alvo);
            QTest::mouseClick(alvo, Qt::RightButton); // takes the focus as a click does
            alvo->setFocus();
            QTRY_COMPARE(QApplication::focusWidget(), alvo);
            QTest::keyClick(alvo, Qt::Key(tecla));
            QCOMPARE(!painel->isVisible(), fecha);
        });
        QVERIFY(caixas.Pedidos().isEmpty());
    }

    // "X": the title colour before the first hover, red under the pointer, then another blue.
    void corDoX() {
        QWidget dono;
        auto* painel = new TFrmMenu({}, nullptr, &dono);
        painel->show();
        QVERIFY(QTest::qWaitForWindowExposed(painel));
        QTRY_VERIFY(painel->mask().isEmpty());
        auto* x = Filho<QLabel>(painel, "LblX");
        const auto cor = [x] { return x->palette().color(QPalette::WindowText); };
        QTest::mouseMove(painel, QPoint(5, 200));
        QCOMPARE(cor(), QColor(18, 54, 84));
        QTest::mouseMove(x, x->rect().center());
        QTRY_COMPARE(cor(), QColor(255, 0, 0));
        QTest::mouseMove(painel, QPoint(5, 200));
        QTRY_COMPARE(cor(), QColor(0, 64, 128));
        QTest::mouseMove(x, x->rect().center());
        QTRY_COMPARE(cor(), QColor(255, 0, 0));
    }

    // A link label is underlined, and nothing else, only while the pointer is over it.
    void sublinhado_data() {
        QTest::addColumn<QString>("nome");
        for (const char* nome : kLinks)
            QTest::newRow(nome) << nome;
    }
    void sublinhado() {
        QFETCH(QString, nome);
        QWidget dono;
        auto* painel = new TFrmMenu({}, nullptr, &dono);
        painel->show();
        QVERIFY(QTest::qWaitForWindowExposed(painel));
        QTRY_VERIFY(painel->mask().isEmpty());
        auto* rotulo = painel->findChild<QLabel*>(nome);
        QTest::mouseMove(painel, QPoint(5, 5));
        QVERIFY(!rotulo->font().underline());
        QTest::mouseMove(rotulo, QPoint(2, 2));
        QTRY_VERIFY(rotulo->font().underline());
        QVERIFY(!rotulo->font().bold() && !rotulo->font().italic());
        // No other label follows it.
        for (const char* outro : kLinks)
            if (QLatin1String(outro) != nome)
                QVERIFY(!painel->findChild<QLabel*>(QLatin1String(outro))->font().underline());
        QTest::mouseMove(painel, QPoint(5, 5));
        QTRY_VERIFY(!rotulo->font().underline());
    }

    // The title's pop-up menu: one item, IBexpert.
    void menuDoTitulo() {
        QWidget dono;
        auto* painel = new TFrmMenu({}, nullptr, &dono);
        painel->show();
        QVERIFY(QTest::qWaitForWindowExposed(painel));
        auto* titulo = Filho<QLabel>(painel, "Label2");
        QContextMenuEvent evento(QContextMenuEvent::Mouse, titulo->rect().center(),
                                 titulo->mapToGlobal(titulo->rect().center()));
        QApplication::sendEvent(titulo, &evento);
        QTRY_VERIFY(painel->PopupMenu1->isVisible());
        QCOMPARE(painel->PopupMenu1->actions().size(), 1);
        QCOMPARE(painel->PopupMenu1->actions()[0]->objectName(), u"IBexpert1"_qs);
        QCOMPARE(painel->PopupMenu1->actions()[0]->text(), u"IBexpert"_qs);
        painel->PopupMenu1->close();
    }

    // The connection editor's buttons: exactly one server refuses the removal and the panel
    // stays; otherwise the editor opens in its mode, owned by the main window, with the panel
    // out of sight, and the panel is closed once the editor returns.
    void editor_data() {
        QTest::addColumn<QString>("botao");
        QTest::addColumn<QByteArray>("conexoes");
        QTest::addColumn<int>("tag"); // -1: refused
        QTest::newRow("excluir com um") << "BitBtnExcluir" << kUmServidor << -1;
        QTest::newRow("excluir com dois") << "BitBtnExcluir" << kDoisServidores << 1;
        QTest::newRow("excluir sem nenhum") << "BitBtnExcluir" << QByteArray() << 1;
        QTest::newRow("incluir com um") << "BitBtnIncluir" << kUmServidor << 0;
        QTest::newRow("alterar com um") << "BitBtn2" << kUmServidor << 2;
    }
    void editor() {
        QFETCH(QString, botao);
        QFETCH(QByteArray, conexoes);
        QFETCH(int, tag);
        inst_.Grava(QStringLiteral("CONEXOES.INI"), conexoes);
        GravadorMensagens caixas;
        TFrmPrincipal& janela = Janela();
        ComPainel(janela, [&](TFrmMenu* painel) {
            caixas.Limpa();
            int tagVista = -1;
            QWidget* dono = nullptr;
            bool painelVisivel = true;
            QTimer espera; // the editor, once up: what it is, then closed
            espera.setInterval(10);
            connect(&espera, &QTimer::timeout, [&] {
                if (!FrmConexoes || !FrmConexoes->isVisible())
                    return;
                espera.stop();
                tagVista = FrmConexoes->Tag;
                dono = FrmConexoes->parentWidget();
                painelVisivel = painel->isVisible();
                FrmConexoes->findChild<QPushButton*>(QStringLiteral("BitBtnCancelar"))->click();
            });
            espera.start();
            QTest::mouseClick(painel->findChild<QPushButton*>(botao), Qt::LeftButton);
            QCOMPARE(tagVista, tag);
            QCOMPARE(painel->isVisible(), tag < 0);
            if (tag >= 0) {
                QCOMPARE(dono, &janela);
                QVERIFY(!painelVisivel);
                return;
            }
            QCOMPARE(caixas.Pedidos().size(), 1);
            const PedidoMensagem& p = caixas.Pedidos()[0];
            QCOMPARE(p.texto, u"Você precisa ter ao menos um servidor cadastrado!\r"
                              "Não é possível excluir o último servidor!"_qs);
            QCOMPARE(p.titulo, u"Gerenciador"_qs);
            QCOMPARE(p.icone, IconeMensagem::Aviso);
        });
    }

    // The refusal as a real box: shown over the panel (the active window), owned by it and
    // active itself; the panel stays open and modal once it is dismissed.
    void recusaComCaixaReal() {
        inst_.Grava(QStringLiteral("CONEXOES.INI"), kUmServidor);
        TFrmPrincipal& janela = Janela();
        ComPainel(janela, [&](TFrmMenu* painel) {
            QTRY_COMPARE(QApplication::activeWindow(), painel);
            QPointer<QMessageBox> vista; // the box lives only while it is shown
            QString texto;
            QWidget* dono = nullptr;
            QMessageBox::Icon icone = QMessageBox::NoIcon;
            bool ativa = false;
            // Waits for the box, looks at it and answers it with Enter.
            QTimer espera;
            espera.setInterval(10);
            connect(&espera, &QTimer::timeout, [&] {
                vista = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!vista || !vista->isVisible())
                    return;
                espera.stop();
                texto = vista->text();
                dono = vista->parentWidget();
                icone = vista->icon();
                ativa = QTest::qWaitForWindowActive(vista);
                QTest::keyClick(vista, Qt::Key_Return);
            });
            espera.start();
            QTest::mouseClick(Filho<QPushButton>(painel, "BitBtnExcluir"), Qt::LeftButton);
            QVERIFY(!espera.isActive());
            QVERIFY(ativa);
            QCOMPARE(dono, painel);
            QCOMPARE(icone, QMessageBox::Warning);
            QCOMPARE(texto, u"Você precisa ter ao menos um servidor cadastrado!\n"
                            "Não é possível excluir o último servidor!"_qs);
            // The panel's modal run goes on (activation itself is the window manager's).
            QVERIFY(painel->isVisible());
            QCOMPARE(QApplication::activeModalWidget(), painel);
        });
    }

    // "Testar conexão": the host of the alias shown in the main window, from CONEXOES.INI as
    // it is at the click; the ping form belongs to the panel, which stays open.
    void testarConexao_data() {
        QTest::addColumn<QByteArray>("conexoes");
        QTest::addColumn<QByteArray>("noClique"); // CONEXOES.INI at the click ("/": a folder)
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("mensagem");
        const QByteArray local = "[LOJA]\r\nServidor=C\r\nTipo=Windows\r\nStatus=A\r\n";
        QTest::newRow("remoto") << kDoisServidores << kDoisServidores << "10.0.0.5" << false;
        QTest::newRow("local, a letra da unidade") << local << local << "C" << false;
        QTest::newRow("arquivo sumiu") << kUmServidor << QByteArray() << "" << false;
        QTest::newRow("apelido sem seção")
            << kUmServidor << QByteArray("[OUTRO]\r\nServidor=1.2.3.4\r\n") << "" << false;
        QTest::newRow("arquivo ilegível") << kUmServidor << QByteArray("/") << "" << true;
    }
    void testarConexao() {
        QFETCH(QByteArray, conexoes);
        QFETCH(QByteArray, noClique);
        QFETCH(QString, host);
        QFETCH(bool, mensagem);
        inst_.Grava(QStringLiteral("CONEXOES.INI"), conexoes);
        inst_.Grava(QStringLiteral("DBXCONNECTIONS.INI"),
                    "[OUTRA]\r\nDatabase=C:/C.FDB\r\n[EMPRESA]\r\nDatabase=H:/X.FDB\r\n");
        GravadorMensagens caixas;
        TFrmPrincipal& janela = Janela();
        const QString arquivo = inst_.Caminho(QStringLiteral("CONEXOES.INI"));
        QFile::remove(arquivo);
        if (noClique == "/")
            QVERIFY(QDir().mkdir(arquivo));
        else if (!noClique.isEmpty())
            inst_.Grava(QStringLiteral("CONEXOES.INI"), noClique);
        ComPainel(janela, [&](TFrmMenu* painel) {
            caixas.Limpa();
            QPointer<TFrmTesteConexao> form;
            QString hostVisto;
            QStringList banco;
            QList<PedidoMensagem> abertura;
            bool modal = false;
            Depois d([&] {
                form = FrmTesteConexao;
                if (!form)
                    return;
                hostVisto = Filho<QLineEdit>(form, "edtHost")->text();
                modal = QApplication::activeModalWidget() == form;
                // The database line reads the edition's section of the program's dbExpress file.
                abertura = caixas.Pedidos(); // the boxes of the opening, not of the run
                form->PortaBanco = 0;
                Filho<QSpinBox>(form, "spnPing")->setValue(1);
                form->btnPingClick();
                auto* lista = Filho<QListWidget>(form, "lstReplies");
                // No line in time: the comparison below says so (the form must close here).
                (void)QTest::qWaitFor(
                    [&] { return !lista->findItems(u"Banco"_qs, Qt::MatchStartsWith).isEmpty(); });
                for (auto* item : lista->findItems(u"Banco"_qs, Qt::MatchStartsWith))
                    banco.append(item->text());
                form->close();
            });
            Clica(Filho<QLabel>(painel, "LblTestarConexao"));
            QVERIFY(form);
            QCOMPARE(form->parent(), painel);
            QVERIFY(modal);
            QCOMPARE(hostVisto, host);
            QCOMPARE(banco, QStringList{u"Banco de dados H:/X.FDB: a seção EMPRESA do "
                                        "DBXCONNECTIONS.INI não tem User_Name e Password"_qs});
            QVERIFY(painel->isVisible());
            if (mensagem) {
                QCOMPARE(abertura.size(), 1);
                QCOMPARE(abertura[0].texto, u"Não foi possível abrir o arquivo de conexões!"_qs);
                QCOMPARE(abertura[0].titulo, u"GERENCIADOR"_qs);
                QCOMPARE(abertura[0].icone, IconeMensagem::Erro);
            } else {
                QVERIFY(abertura.isEmpty());
            }
        });
        QDir().rmdir(arquivo);
    }

    // "Config Caixa Off Line" with the Firebird server of the tests: success, the data
    // module gone, the panel closed.
    void usuarioVeltoComServidor() {
        if (qEnvironmentVariableIsSet(kSemServidor))
            QSKIP("cópia sem servidor");
        QString motivo;
        if (!ServidorFirebird::Disponivel(&motivo))
            QSKIP(qPrintable(motivo));
        bool existia = false;
        for (const auto& u : ServidorFirebird::Usuarios())
            existia |= u.UserName == u"VELTO";
        const QStringList textos = UsuarioVelto();
        if (!existia)
            ServidorFirebird::Fbsvcmgr(QStringLiteral("SYSDBA"),
                                       QLatin1String(ServidorFirebird::SenhaSysdba),
                                       {"action_delete_user", "sec_username", "VELTO"});
        QCOMPARE(textos, QStringList{u"Usuário criado com sucesso."_qs});
    }

    // The same where nothing listens on 127.0.0.1: the error, and the panel closed all the same.
    // Runs in a copy of this test inside a network namespace of its own.
    void usuarioVeltoSemServidor() {
        if (qEnvironmentVariableIsSet(kSemServidor)) {
            QCOMPARE(UsuarioVelto(), QStringList{u"Erro ao criar usuário."_qs});
            return;
        }
#ifndef Q_OS_LINUX
        QSKIP("a rede à parte é feita com unshare (Linux)");
#else
        if (QProcess::execute(QStringLiteral("unshare"), {"-rn", "true"}) != 0)
            QSKIP("unshare -rn não pôde criar uma rede à parte (sem namespaces de usuário)");
        QProcess copia;
        QProcessEnvironment ambiente = QProcessEnvironment::systemEnvironment();
        ambiente.insert(QLatin1String(kSemServidor), QStringLiteral("1"));
        copia.setProcessEnvironment(ambiente);
        copia.setProcessChannelMode(QProcess::MergedChannels);
        copia.start(QStringLiteral("unshare"),
                    {"-rn", "sh", "-c", "ip link set lo up && exec \"$0\" usuarioVeltoSemServidor",
                     QCoreApplication::applicationFilePath()});
        QVERIFY(copia.waitForFinished(120000));
        const QByteArray saida = copia.readAll();
        QVERIFY2(copia.exitStatus() == QProcess::NormalExit && copia.exitCode() == 0,
                 saida.constData());
        QVERIFY2(saida.contains("PASS   : TstMenu::usuarioVeltoSemServidor"), saida.constData());
#endif
    }

private:
    // Clicks "Config Caixa Off Line" and returns the boxes shown; the panel must have closed.
    QStringList UsuarioVelto() {
        GravadorMensagens caixas;
        QPointer<TFrmMenu> painel;
        ComPainel(Janela(), [&](TFrmMenu* p) {
            painel = p;
            caixas.Limpa();
            Clica(Filho<QLabel>(p, "LblUsuarioVELTO"));
            QVERIFY2(!p->isVisible(), "o painel ficou aberto");
        });
        if (painel)
            QTest::qFail("o painel não foi liberado", __FILE__, __LINE__);
        return caixas.Textos();
    }
};

QTEST_MAIN(TstMenu)
#include "tst_menu.moc"
