// The connection editor in include mode with this platform's network browser, for tests and
// benchmarks that run it where the machines are (inside a network namespace). Each machine its
// tree gains or loses is one line on stdout, with the milliseconds since the program started;
// a first line says when the editor was shown:
//   <ms> pronto
//   <ms> + <group>/<machine>
//   <ms> - <group>/<machine>
//   <ms> * <group>/<machine> <its node's tooltip>   (it answered as a Firebird server)
//   <ms> @ <group>/<machine> <address>              (where the tree saw it, once known: what
//                                                    "Capturar" with "IP" gives)
//   <ms> dica <group>/<machine> <tooltip>           (a machine's tooltip changed; its lines
//                                                    joined by " | ")
//   <ms> linha <text>                               (the line under the tree changed)
//   <ms> mensagem <text>                            (a message box, answered with OK)
// With --pasta DIR the editor serves the installation in DIR, with the main window behind it
// (not shown; "Gravar" writes DIR's CONEXOES.INI and DBXCONNECTIONS.INI). Commands, one a line on
// standard input, each echoed as "<ms> comando <command>" when it is carried out:
//   remota | ip | procura           click "Remota", tick "IP", click "Procurar banco"
//   grava                           click "Gravar"; "<ms> gravado" once the editor closed
//   teste                           the ping form as the settings panel opens it (the server
//                                   in use, the edition's database), one attempt: its lines
//                                   "<ms> teste <line>" once its database check is over
//   usa <machine>                   double-click the machine's node
//   menu <machine>                  its context menu's "Usar este servidor", when offered
//                                   ("<ms> menu sem Usar este servidor" otherwise)
//   campos                          "<ms> campos <server>|<type>|<alias>|<application folder>"
//   dica <machine>                  shows the node's tooltip at the node (for screenshots)
//   fecha                           "Cancelar": the editor closes and is deleted; once the
//                                   threads the editor started are gone (at most 10 s),
//                                   "<ms> threads <search threads running> <names of the
//                                   process's threads, comma-separated>" (the client library's
//                                   own threads stay, named after the thread that made them)
// It ends when its standard input closes (read on a thread of its own: on Windows a pipe is no
// socket to watch). With --rodada MS the WS-Discovery rounds come every MS ms. With --remota the
// editor switches to a remote connection once shown, so that its tree is enabled (for screenshots);
// with --dica the tooltip of each node marked is shown at the node. With --atraso a timer probes
// the event loop every 10 ms and, once a second, a line gives the largest lateness of that second
// (how long the window could not answer):
//   <ms> atraso <lateness ms>
#include "common/ArquivoIni.h"
#include "common/Mensagem.h"
#include "conexoes/Conexoes.h"
#include "conexoes/DescobertaWs.h"
#include "conexoes/NavegadorRede.h"
#include "conexoes/ProcuraBanco.h"
#include "conexoes/TesteConexao.h"
#include "principal/Principal.h"
#include "registro/RegistroConexoes.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <cstdio>
#include <memory>
#include <thread>

namespace {

QElapsedTimer relogio;

void Escreve(const QString& linha) {
    std::printf("%lld %s\n", static_cast<long long>(relogio.elapsed()), qPrintable(linha));
    std::fflush(stdout);
}

// The names of this process's threads but the main one.
QStringList Threads() {
    QStringList nomes;
    for (const QString& t :
         QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (t == QString::number(QCoreApplication::applicationPid()))
            continue;
        QFile comm(u"/proc/self/task/%1/comm"_qs.arg(t));
        if (comm.open(QIODevice::ReadOnly))
            nomes.append(QString::fromUtf8(comm.readAll()).trimmed());
    }
    return nomes;
}

} // namespace

int main(int argc, char** argv) {
    relogio.start();
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype rodada = args.indexOf(QStringLiteral("--rodada"));
    if (rodada > 0)
        DescobertaWs::DefineIntervaloRodadas(args.value(rodada + 1).toInt());
    DefineRespondeMensagem([](const PedidoMensagem& m) {
        Escreve(u"mensagem "_qs + QString(m.texto).replace(u'\r', u' '));
        return RespostaMensagem::Ok;
    });
    const qsizetype indicePasta = args.indexOf(QStringLiteral("--pasta"));
    std::unique_ptr<TFrmPrincipal> principal;
    if (indicePasta > 0 && indicePasta + 1 < args.size())
        principal = std::make_unique<TFrmPrincipal>(args[indicePasta + 1] + u"/Gerenciador"_qs);
    QPointer<TFrmConexoes> editor =
        principal ? new TFrmConexoes(principal->Instalacao(), principal.get(), principal.get())
                  : new TFrmConexoes;
    editor->Tag = 0;
    const auto escreve = [&](char sinal, const QString& grupo, const QString& nome) {
        Escreve(QString(QLatin1Char(sinal)) + u' ' + grupo + u'/' + nome);
    };
    QHash<QString, QString> enderecos; // printed, by machine
    const auto endereco = [&](const QString& g, const QString& n) {
        const QHostAddress e = editor->Navegador()->EnderecoConhecido(n);
        if (e.isNull() || enderecos.value(n) == e.toString())
            return;
        enderecos.insert(n, e.toString());
        Escreve(u"@ "_qs + g + u'/' + n + u' ' + e.toString());
    };
    QObject::connect(editor->Navegador(), &NavegadorRede::MaquinaAdicionada, &app,
                     [&](const QString& g, const QString& n) {
                         escreve('+', g, n);
                         endereco(g, n);
                     });
    QObject::connect(editor->Navegador(), &NavegadorRede::MaquinaRemovida, &app,
                     [&](const QString& g, const QString& n) { escreve('-', g, n); });
    auto* arvore = editor->findChild<QTreeWidget*>(QStringLiteral("ShTVRede"));
    const auto no = [&](const QString& nome) -> QTreeWidgetItem* {
        const auto nos = arvore->findItems(nome, Qt::MatchExactly | Qt::MatchRecursive);
        return nos.isEmpty() ? nullptr : nos.constFirst();
    };
    const bool dica = args.contains(QStringLiteral("--dica"));
    QObject::connect(editor->Navegador(), &NavegadorRede::ServidorFirebird, &app,
                     [&](const QString& g, const QString& n) {
                         QTreeWidgetItem* item = no(n);
                         Escreve(u"* "_qs + g + u'/' + n + u' ' +
                                 (item ? item->toolTip(0) : QString()));
                         endereco(g, n);
                         if (dica) // once the window has settled; the node may be gone by then
                             QTimer::singleShot(300, arvore, [arvore, n, &no] {
                                 QTreeWidgetItem* item = no(n);
                                 if (!item)
                                     return;
                                 const QRect r = arvore->visualItemRect(item);
                                 QToolTip::showText(arvore->viewport()->mapToGlobal(r.center()),
                                                    item->toolTip(0), arvore->viewport());
                             });
                     });
    // What the search shows: the line under the tree and the machines' tooltips, as they change.
    QHash<QTreeWidgetItem*, QString> dicas;
    QString linha;
    QTimer observa;
    QObject::connect(&observa, &QTimer::timeout, &app, [&] {
        if (!editor)
            return;
        const QString agora = editor->findChild<QLabel*>(QStringLiteral("LblProcura"))->text();
        if (agora != linha)
            Escreve(u"linha "_qs + (linha = agora));
        for (QTreeWidgetItemIterator i(arvore); *i; ++i) {
            if ((*i)->childCount() > 0 || !(*i)->parent() || !(*i)->parent()->parent())
                continue;
            const QString d = (*i)->toolTip(0);
            if (dicas.value(*i) == d)
                continue;
            dicas.insert(*i, d);
            Escreve(u"dica "_qs + (*i)->parent()->text(0) + u'/' + (*i)->text(0) + u' ' +
                    QString(d).replace(u'\n', QLatin1String(" | ")));
        }
    });
    if (principal) // the search's tests only: a long tree would weigh on the latency probe
        observa.start(10);

    const auto botao = [&](const char* nome) {
        return editor->findChild<QAbstractButton*>(QLatin1String(nome));
    };
    const auto comando = [&](const QString& c) {
        const QString nome = c.section(u' ', 1);
        if (!editor)
            return;
        Escreve(u"comando "_qs + c);
        if (c == u"remota")
            botao("RdBtnRemota")->click();
        else if (c == u"ip")
            botao("ChkBxIPBanco")->click();
        else if (c == u"procura")
            botao("BtnProcurarBanco")->click();
        else if (c == u"grava") {
            botao("BitBtnGravar")->click();
            if (!editor->isVisible())
                Escreve(QStringLiteral("gravado"));
        } else if (c == u"teste" && principal) {
            const DadosInstalacao inst = principal->Instalacao();
            const ArquivoIni conexoes(inst.PastaPrograma + u"CONEXOES.INI"_qs);
            auto* teste = new TFrmTesteConexao(principal.get());
            teste->DefineHost(conexoes.LeTexto(principal->ApelidoEmUso(), u"Servidor"_qs));
            teste->DefineBanco(inst.PastaPrograma +
                                   QString::fromUtf16(RegistroConexoes::kArquivoDbx),
                               RegistroConexoes::SecaoDbx(inst.NomePasta));
            teste->findChild<QSpinBox*>(QStringLiteral("spnPing"))->setValue(1);
            teste->show();
            teste->btnPingClick();
            auto* espera = new QTimer(teste);
            QObject::connect(espera, &QTimer::timeout, teste, [teste, espera] {
                auto* lista = teste->findChild<QListWidget*>(QStringLiteral("lstReplies"));
                if (VerificacoesBancoEmCurso() > 0 ||
                    lista->findItems(u"Banco de dados"_qs, Qt::MatchStartsWith).isEmpty())
                    return;
                espera->stop();
                for (int i = 0; i < lista->count(); ++i)
                    Escreve(u"teste "_qs + lista->item(i)->text());
            });
            espera->start(50);
        } else if (c.startsWith(u"usa ") && no(nome))
            Q_EMIT arvore->itemDoubleClicked(no(nome), 0);
        else if (c.startsWith(u"menu ") && no(nome)) {
            Q_EMIT arvore->customContextMenuRequested(arvore->visualItemRect(no(nome)).center());
            QAction* usar =
                editor->PopupRede()->findChild<QAction*>(QStringLiteral("UsarServidor"));
            editor->PopupRede()->hide();
            if (usar && usar->isVisible())
                usar->trigger();
            else
                Escreve(QStringLiteral("menu sem Usar este servidor"));
        } else if (c.startsWith(u"dica ") && no(nome)) {
            const QRect r = arvore->visualItemRect(no(nome));
            QToolTip::showText(arvore->viewport()->mapToGlobal(r.center()), no(nome)->toolTip(0),
                               arvore->viewport());
        } else if (c == u"campos") {
            const auto texto = [&](const char* campo) {
                return editor->findChild<QLineEdit*>(QLatin1String(campo))->text();
            };
            Escreve(u"campos "_qs + texto("EdtServBanco") + u'|' +
                    (botao("RdBtnLinux")->isChecked() ? u"Linux"_qs : u"Windows"_qs) + u'|' +
                    texto("EdtApelido") + u'|' + texto("DirEdtAplicacao"));
        } else if (c == u"fecha") {
            botao("BitBtnCancelar")->click();
            delete editor.data();
            auto* espera = new QTimer(&app);
            QElapsedTimer desde;
            desde.start();
            QObject::connect(espera, &QTimer::timeout, &app, [espera, desde] {
                if ((ProcurasEmCurso() > 0 || Threads().contains(u"sonda de servid"_qs)) &&
                    desde.elapsed() < 10000)
                    return;
                Escreve(u"threads %1 "_qs.arg(ProcurasEmCurso()) + Threads().join(u','));
                espera->deleteLater();
            });
            espera->start(20);
        }
    };
    std::thread([&app, &comando] {
        char linha[256];
        while (std::fgets(linha, sizeof linha, stdin)) {
            const QString c = QString::fromUtf8(linha).trimmed();
            QMetaObject::invokeMethod(
                &app, [&comando, c] { comando(c); }, Qt::QueuedConnection);
        }
        // quit() would ask the editor, which refuses
        QMetaObject::invokeMethod(
            &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    }).detach();
    // The event loop's latency: how late a 10 ms timer fires.
    QTimer sonda;
    QElapsedTimer desde;
    qint64 pior = 0;
    qint64 segundo = 0;
    if (args.contains(QStringLiteral("--atraso"))) {
        sonda.setTimerType(Qt::PreciseTimer);
        QObject::connect(&sonda, &QTimer::timeout, &app, [&] {
            pior = qMax(pior, desde.restart() - 10);
            if (relogio.elapsed() / 1000 != segundo) {
                segundo = relogio.elapsed() / 1000;
                Escreve(u"atraso "_qs + QString::number(pior));
                pior = 0;
            }
        });
        desde.start();
        sonda.start(10);
    }
    editor->show();
    if (args.contains(QStringLiteral("--remota")))
        botao("RdBtnRemota")->click();
    Escreve(QStringLiteral("pronto"));
    const int r = app.exec();
    delete editor.data();
    return r;
}
