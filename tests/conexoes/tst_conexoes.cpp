// The connection editor in its three modes, driven as the user drives it, on real files in a
// temporary installation and with the real main window behind it. The network tree is fed by
// a browser the test controls.
#include "common/ClienteFirebird.h"
#include "common/Texto.h"
#include "conexoes/AbreConexoes.h"
#include "conexoes/Conexoes.h"
#include "conexoes/NavegadorRede.h"
#include "conexoes/ProcuraBanco.h"
#include "principal/Principal.h"
#include "registro/RegistroConexoes.h"
#include "support/GravadorMensagens.h"
#include "support/Instalacao.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QNetworkInterface>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <memory>

namespace {

const QString kVelto = QStringLiteral("Gerenciador VELTO");

// Windows-1252 bytes of a text written with \n line ends, turned into CRLF.
QByteArray Ini(const QString& texto) {
    QString t = texto;
    t.replace(u'\n', QLatin1String("\r\n"));
    return ParaWindows1252(t);
}

QByteArray Secao(const QString& apelido, const QString& servidor, const QString& tipo,
                 const QString& aplicacao, const QString& status) {
    return Ini(u'[' + apelido + u"]\nServidor="_qs + servidor + u"\nTipo="_qs + tipo +
               u"\nAplicação="_qs + aplicacao + u"\nStatus="_qs + status + u'\n');
}

// ALFA (active), BETA, GAMA.
const QByteArray kTres = Secao("BETA", "10.0.0.2", "Linux", "/OPT/B", "I") +
                         Secao("ALFA", "SRV01", "Windows", "C:\\A", "A") +
                         Secao("GAMA", "10.0.0.3", "WINDOWS", "C:\\G", "I");

// An installation, the main window shown on it and the editor in one mode, shown and active.
struct Editor {
    explicit Editor(int tag, const QByteArray& conexoes = kTres, int modulos = 0) {
        for (int i = 1; i <= modulos; ++i)
            inst.Grava(QStringLiteral("VELTOM%1.EXE").arg(i, 2, 10, QLatin1Char('0')), "x");
        if (!conexoes.isNull())
            inst.Grava(QStringLiteral("CONEXOES.INI"), conexoes);
        principal = std::make_unique<TFrmPrincipal>(inst.Caminho(QStringLiteral("Gerenciador")));
        principal->show();
        navegador = new NavegadorRede;
        form =
            new TFrmConexoes(principal->Instalacao(), principal.get(), principal.get(), navegador);
        form->Tag = tag;
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form));
    }
    ~Editor() {
        delete form.data();
        principal.reset();
    }
    template <typename T> T* w(const char* nome) const {
        T* r = form->findChild<T*>(QLatin1String(nome));
        if (!r)
            qFatal("no control %s", nome);
        return r;
    }
    QLineEdit* edit(const char* nome) const { return w<QLineEdit>(nome); }
    QString Local() const { return ServidorLocal(principal->PastaPrograma); }
    bool TipoLinux() const { return w<QRadioButton>("RdBtnLinux")->isChecked(); }
    QByteArray Arquivo() const { return inst.Le(QStringLiteral("CONEXOES.INI")); }
    void Clica(const char* botao) const {
        QTest::mouseClick(w<QPushButton>(botao), Qt::LeftButton);
    }
    // The choose stage of alter mode: the alias picked as the user picks it.
    void Escolhe(const QString& apelido) const {
        auto* lista = w<QComboBox>("FltCbboxEdicao");
        lista->setCurrentIndex(lista->findText(apelido));
        Q_EMIT lista->activated(lista->currentIndex());
        Clica("BtnEscolher");
    }
    QString Foco() const {
        return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
    }

    Instalacao inst;
    GravadorMensagens msgs;
    std::unique_ptr<TFrmPrincipal> principal;
    NavegadorRede* navegador = nullptr;
    QPointer<TFrmConexoes> form;
};

QStringList Itens(const QComboBox* c) {
    QStringList r;
    for (int i = 0; i < c->count(); ++i)
        r.append(c->itemText(i));
    return r;
}

// The tree below "Toda a rede", as "GROUP/machine" lines in tree order.
QStringList Arvore(const QTreeWidget* t) {
    QStringList r;
    const QTreeWidgetItem* toda = t->topLevelItem(0)->child(0);
    for (int i = 0; i < toda->childCount(); ++i)
        for (int j = 0; j < toda->child(i)->childCount(); ++j)
            r.append(toda->child(i)->text(0) + u'/' + toda->child(i)->child(j)->text(0));
    return r;
}

} // namespace

class TstConexoes : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Caption, page, size and the entry page's start state in each mode.
    void abre_data() {
        QTest::addColumn<int>("tag");
        QTest::addColumn<int>("modulos");
        QTest::addColumn<QString>("titulo");
        QTest::addColumn<QString>("pagina"); // page shown, or the choose panel
        QTest::addColumn<int>("altura");
        QTest::newRow("incluir") << 0 << 0 << "VELTO - Incluir Conexão"
                                 << "TbShtIncluir" << 438;
        QTest::newRow("excluir") << 1 << 0 << "VELTO - Excluir Conexão"
                                 << "TbShtExcluir" << 438;
        QTest::newRow("alterar") << 2 << 0 << "VELTO - Alterar Conexão"
                                 << "PnlEscolherConexao" << 438;
        QTest::newRow("outro Tag é alterar") << 7 << 0 << "VELTO - Alterar Conexão"
                                             << "PnlEscolherConexao" << 438;
        // 164 + 7 x 40: the main window is taller than 438, and the editor takes its height.
        QTest::newRow("janela principal mais alta") << 0 << 7 << "VELTO - Incluir Conexão"
                                                    << "TbShtIncluir" << 444;
        QTest::newRow("doze módulos") << 1 << 12 << "VELTO - Excluir Conexão"
                                      << "TbShtExcluir" << 644;
    }
    void abre() {
        QFETCH(int, tag);
        QFETCH(int, modulos);
        QFETCH(QString, titulo);
        QFETCH(QString, pagina);
        QFETCH(int, altura);
        Editor e(tag, kTres, modulos);
        QCOMPARE(e.principal->height(), qMax(164 + 40 * modulos, 164));
        QCOMPARE(e.form->windowTitle(), titulo);
        QCOMPARE(e.form->size(), QSize(305, altura));
        QCOMPARE(e.form->minimumSize(), e.form->maximumSize());
        const Qt::WindowFlags f = e.form->windowFlags();
        QVERIFY(!(f & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint |
                       Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                       Qt::WindowContextHelpButtonHint)));
        // Centred on the main window (give or take a frame the window system may add).
        QVERIFY(qAbs(e.form->frameGeometry().center().y() -
                     e.principal->frameGeometry().center().y()) <= 4);
        QVERIFY(qAbs(e.form->frameGeometry().center().x() -
                     e.principal->frameGeometry().center().x()) <= 4);
        auto* paginas = e.w<QStackedWidget>("PgCtrlConexoes");
        if (pagina == QLatin1String("PnlEscolherConexao")) {
            QVERIFY(!paginas->isVisible());
            auto* painel = e.w<QWidget>("PnlEscolherConexao");
            QVERIFY(painel->isVisible());
            QCOMPARE(painel->pos(), QPoint(12, 134));
            QCOMPARE(e.w<QLabel>("LblTitulo")->text(), u"Alterar Conexão"_qs);
        } else {
            QVERIFY(paginas->isVisible());
            QCOMPARE(paginas->currentWidget()->objectName(), pagina);
            QCOMPARE(e.w<QLabel>("LblTitulo")->text(), u"Incluir Conexão"_qs);
        }
        // The central panels stay vertically centred in a taller form.
        QCOMPARE(e.w<QWidget>("PnlCentralInc")->y(), (altura - 438) / 2);
        QCOMPARE(e.w<QWidget>("PnlCentralExc")->y(), 134 + (altura - 438) / 2);
        // The database search sets up a new server: include mode only.
        QCOMPARE(!e.w<QPushButton>("BtnProcurarBanco")->isHidden(), pagina == u"TbShtIncluir");
        QVERIFY(e.msgs.Pedidos().isEmpty());
    }

    // Include mode opens on a local connection; Remote keeps the alias; back to Local again.
    void incluirLocalRemota() {
        Editor e(0);
        const QString local = e.Local();
        QVERIFY(e.w<QRadioButton>("RdBtnLocal")->isChecked());
        QVERIFY(!e.w<QGroupBox>("RdGrpTipo")->isEnabled());
        QCOMPARE(e.TipoLinux(), TipoServidorLocal() == QLatin1String("Linux"));
        QCOMPARE(e.edit("EdtServBanco")->text(), local);
        QCOMPARE(e.edit("EdtServBanco")->maxLength(), local.size());
        QCOMPARE(e.edit("EdtApelido")->text(), u"LOCAL - "_qs + local);
        QVERIFY(!e.w<QCheckBox>("ChkBxIPBanco")->isEnabled());
        QVERIFY(!e.w<QPushButton>("BitBtnCapturar")->isEnabled());
        QVERIFY(!e.w<QTreeWidget>("ShTVRede")->isEnabled());
        QVERIFY(!e.w<QPushButton>("BtnProcurarBanco")->isEnabled());

        QTest::mouseClick(e.w<QRadioButton>("RdBtnRemota"), Qt::LeftButton);
        QVERIFY(e.w<QPushButton>("BtnProcurarBanco")->isEnabled());
        QVERIFY(e.w<QGroupBox>("RdGrpTipo")->isEnabled());
        QVERIFY(!e.TipoLinux());
        QCOMPARE(e.edit("EdtServBanco")->text(), QString());
        QVERIFY(e.edit("EdtServBanco")->maxLength() > 1000);
        QCOMPARE(e.edit("EdtApelido")->text(), u"LOCAL - "_qs + local);
        QVERIFY(e.w<QCheckBox>("ChkBxIPBanco")->isEnabled());
        QVERIFY(e.w<QPushButton>("BitBtnCapturar")->isEnabled());
        QVERIFY(e.w<QTreeWidget>("ShTVRede")->isEnabled());
        // Typed text is upper-cased (ASCII letters only); leaving keeps a non-empty alias.
        e.edit("EdtServBanco")->setFocus();
        QTest::keyClicks(e.edit("EdtServBanco"), "srv-9");
        QCOMPARE(e.edit("EdtServBanco")->text(), u"SRV-9"_qs);
        e.edit("EdtApelido")->setFocus();
        QCOMPARE(e.edit("EdtApelido")->text(), u"LOCAL - "_qs + local);

        QTest::mouseClick(e.w<QRadioButton>("RdBtnLocal"), Qt::LeftButton);
        QVERIFY(!e.w<QPushButton>("BtnProcurarBanco")->isEnabled());
        QCOMPARE(e.edit("EdtServBanco")->text(), local);
        QCOMPARE(e.edit("EdtApelido")->text(), u"LOCAL - "_qs + local);
        QVERIFY(!e.w<QGroupBox>("RdGrpTipo")->isEnabled());
    }

    // "Procurar banco" with no machine marked: without the edition's user and password, or
    // without the client library, the line says why and nothing is asked; with both, the
    // search is over at once, having found nothing.
    void procurarSemServidores_data() {
        QTest::addColumn<QByteArray>("dbx"); // null: no DBXCONNECTIONS.INI
        QTest::addColumn<QString>("linha");
        const QString semCredenciais = u"A seção EMPRESA do DBXCONNECTIONS.INI não tem User_Name e "
                                       "Password: a procura precisa deles."_qs;
        QTest::newRow("sem DBXCONNECTIONS.INI") << QByteArray() << semCredenciais;
        QTest::newRow("sem a senha") << "[EMPRESA]\r\nUser_Name=VELTO\r\n"_qba << semCredenciais;
        QTest::newRow("credenciais de outra edição")
            << Ini(u"[CARTÓRIO]\nUser_Name=VELTO\nPassword=x\n"_qs) << semCredenciais;
        QTest::newRow("com credenciais")
            << "[EMPRESA]\r\nUser_Name=VELTO\r\nPassword=x\r\n"_qba
            << (CarregaClienteFirebird(NomeBibliotecaClienteFirebird())
                    ? u"Nenhum servidor desta rede tem o banco VELTO.FDB."_qs
                    : u"O cliente Firebird (%1) não está instalado nesta estação: a procura "
                      "precisa dele."_qs.arg(NomeBibliotecaClienteFirebird()));
    }
    void procurarSemServidores() {
        QFETCH(QByteArray, dbx);
        QFETCH(QString, linha);
        Editor e(0);
        if (!dbx.isNull())
            e.inst.Grava(u"DBXCONNECTIONS.INI"_qs, dbx);
        QTest::mouseClick(e.w<QRadioButton>("RdBtnRemota"), Qt::LeftButton);
        QTest::mouseClick(e.w<QPushButton>("BtnProcurarBanco"), Qt::LeftButton);
        QCOMPARE(e.w<QLabel>("LblProcura")->text(), linha);
        QVERIFY(e.w<QPushButton>("BtnProcurarBanco")->isEnabled());
        QCOMPARE(ProcurasEmCurso(), 0);
        QVERIFY(e.msgs.Pedidos().isEmpty());
    }

    // Leaving the server field: the alias it leaves behind.
    void saiServidor_data() {
        QTest::addColumn<bool>("remota");
        QTest::addColumn<QString>("apelido");
        QTest::addColumn<QString>("servidor");
        QTest::addColumn<QString>("depois"); // "*" = "LOCAL - " + the local server
        QTest::newRow("remota, apelido vazio recebe o servidor") << true << ""
                                                                 << "SRV"
                                                                 << "SRV";
        QTest::newRow("remota, apelido em branco recebe o servidor") << true << "   "
                                                                     << "SRV"
                                                                     << "SRV";
        QTest::newRow("remota, apelido mantido") << true << "MATRIZ"
                                                 << "SRV"
                                                 << "MATRIZ";
        QTest::newRow("local, apelido refeito") << false << "QUALQUER"
                                                << ""
                                                << "*";
        QTest::newRow("local, apelido vazio recebe o servidor") << false << ""
                                                                << ""
                                                                << "#";
    }
    void saiServidor() {
        QFETCH(bool, remota);
        QFETCH(QString, apelido);
        QFETCH(QString, servidor);
        QFETCH(QString, depois);
        Editor e(0);
        if (remota)
            QTest::mouseClick(e.w<QRadioButton>("RdBtnRemota"), Qt::LeftButton);
        if (remota)
            e.edit("EdtServBanco")->setText(servidor);
        e.edit("EdtApelido")->setText(apelido);
        e.edit("EdtServBanco")->setFocus();
        QTest::keyClick(e.form, Qt::Key_Tab);
        if (depois == QLatin1String("*"))
            depois = u"LOCAL - "_qs + e.Local();
        else if (depois == QLatin1String("#"))
            depois = e.Local();
        QCOMPARE(e.edit("EdtApelido")->text(), depois);
    }

    // Capture from the tree, by the button and by the popup item.
    void captura_data() {
        QTest::addColumn<QString>("no"); // text of the node selected; empty: none
        QTest::addColumn<bool>("ip");
        QTest::addColumn<QString>("servidor"); // "@": this machine's address
        QTest::addColumn<int>("mensagens");
        QTest::addColumn<bool>("consulta"); // the name is looked up
        QTest::newRow("nada selecionado") << "" << false << "ANTES" << 0 << false;
        QTest::newRow("raiz") << "Ambiente de rede" << false << "ANTES" << 0 << false;
        QTest::newRow("toda a rede") << "Toda a rede" << true << "ANTES" << 0 << false;
        QTest::newRow("grupo") << "ESCRITORIO" << false << "ESCRITORIO" << 0 << false;
        QTest::newRow("máquina, em maiúsculas")
            << "maquina-b" << false << "MAQUINA-B" << 0 << false;
        QTest::newRow("máquina pelo IP") << "127.0.0.1" << true << "127.0.0.1" << 0 << true;
        QTest::newRow("nome que não resolve") << "nao-existe.invalid" << true << "" << 1 << true;
        QTest::newRow("brancos em volta") << " maquina-c " << false << "MAQUINA-C" << 0 << false;
        // The address a source saw the machine at, when it is a host of our networks.
        QTest::newRow("vista num endereço nosso") << "vista.invalid" << true << "@" << 0 << false;
        QTest::newRow("vista num endereço, sem IP")
            << "vista.invalid" << false << "VISTA.INVALID" << 0 << false;
        QTest::newRow("vista só no laço") << "laco.invalid" << true << "" << 1 << true;
    }
    void captura() {
        QFETCH(QString, no);
        QFETCH(bool, ip);
        QFETCH(QString, servidor);
        QFETCH(int, mensagens);
        QFETCH(bool, consulta);
        QHostAddress nosso;
        for (const QNetworkInterface& i : QNetworkInterface::allInterfaces())
            for (const QNetworkAddressEntry& a : i.addressEntries())
                if (nosso.isNull() && (i.flags() & QNetworkInterface::IsUp) &&
                    !(i.flags() & QNetworkInterface::IsLoopBack) &&
                    a.ip().protocol() == QAbstractSocket::IPv4Protocol)
                    nosso = a.ip();
        if (servidor == u"@") {
            if (nosso.isNull())
                QSKIP("esta máquina não tem endereço IPv4 fora do laço");
            servidor = nosso.toString();
        }
        for (const bool popup : {false, true}) {
            Editor e(0);
            // Seen at this machine's own address: its prober's try stays here.
            e.navegador->Avista("v", "vista.invalid", "ESCRITORIO", NavegadorRede::kGrupoDeclarado,
                                nosso);
            e.navegador->Avista("l", "laco.invalid", "ESCRITORIO", NavegadorRede::kGrupoDeclarado,
                                QHostAddress::LocalHost);
            e.navegador->Avista("a", "maquina-b", "ESCRITORIO");
            e.navegador->Avista("b", "127.0.0.1", "ESCRITORIO");
            e.navegador->Avista("c", "nao-existe.invalid", "ESCRITORIO");
            e.navegador->Avista("d", " maquina-c ", "ESCRITORIO");
            QTest::mouseClick(e.w<QRadioButton>("RdBtnRemota"), Qt::LeftButton);
            e.edit("EdtServBanco")->setText("ANTES");
            e.w<QCheckBox>("ChkBxIPBanco")->setChecked(ip);
            auto* arvore = e.w<QTreeWidget>("ShTVRede");
            const auto achados = arvore->findItems(no, Qt::MatchExactly | Qt::MatchRecursive);
            arvore->setCurrentItem(no.isEmpty() ? nullptr : achados.value(0));
            QCOMPARE(arvore->currentItem() != nullptr, !no.isEmpty());
            if (popup) {
                QAction* selecionar = e.form->PopupRede()->actions().value(0);
                QCOMPARE(selecionar->text(), u"Selecionar"_qs);
                selecionar->trigger();
            } else {
                e.Clica("BitBtnCapturar");
            }
            // A name is resolved off the interface thread, with the form disabled meanwhile.
            QCOMPARE(e.form->isEnabled(), !consulta);
            QTRY_VERIFY(e.form->isEnabled());
            QCOMPARE(QApplication::overrideCursor(), nullptr);
            QCOMPARE(e.edit("EdtServBanco")->text(), servidor);
            QCOMPARE(e.msgs.Pedidos().size(), mensagens);
            if (mensagens)
                QCOMPARE(e.msgs.Textos().at(0),
                         u"Endereço de IP não localizado!\rVerifique o computador escolhido."_qs);
            QCOMPARE(e.edit("EdtApelido")->text(), u"LOCAL - "_qs + e.Local());
        }
    }

    // A right click selects the node under the pointer and opens the popup.
    void cliqueDireitoSeleciona() {
        Editor e(0);
        e.navegador->Avista("a", "MAQUINA-W", "ESCRITORIO");
        QTest::mouseClick(e.w<QRadioButton>("RdBtnRemota"), Qt::LeftButton);
        auto* arvore = e.w<QTreeWidget>("ShTVRede");
        QTreeWidgetItem* maquina = arvore->findItems("MAQUINA-W", Qt::MatchRecursive).value(0);
        QVERIFY(maquina);
        const QPoint ponto = arvore->visualItemRect(maquina).center();
        QTimer::singleShot(0, e.form->PopupRede(), [&] {
            QVERIFY(e.form->PopupRede()->isVisible());
            e.form->PopupRede()->actions().value(0)->trigger();
            e.form->PopupRede()->close();
        });
        QContextMenuEvent evento(QContextMenuEvent::Mouse, ponto,
                                 arvore->viewport()->mapToGlobal(ponto));
        QApplication::sendEvent(arvore->viewport(), &evento);
        QCOMPARE(arvore->currentItem(), maquina);
        QTRY_COMPARE(e.edit("EdtServBanco")->text(), u"MAQUINA-W"_qs);
    }

    // The tree follows the browser: machines come and go under their groups.
    void arvoreSegueNavegador() {
        Editor e(0);
        auto* arvore = e.w<QTreeWidget>("ShTVRede");
        QCOMPARE(arvore->topLevelItem(0)->text(0), u"Ambiente de rede"_qs);
        QCOMPARE(arvore->topLevelItem(0)->child(0)->text(0), u"Toda a rede"_qs);
        e.navegador->Avista("wsd:1", "MAQUINA-W", "ESCRITORIO");
        e.navegador->Avista("mdns:1", "maquina-b", "local", false);
        e.navegador->Avista("mdns:2", "aaa", "local", false);
        QCOMPARE(Arvore(arvore),
                 QStringList({"ESCRITORIO/MAQUINA-W", "local/aaa", "local/maquina-b"}));
        // Seen by both sources: one node, under the workgroup.
        e.navegador->Avista("wsd:2", "MAQUINA-B", "ESCRITORIO");
        QCOMPARE(Arvore(arvore),
                 QStringList({"ESCRITORIO/MAQUINA-B", "ESCRITORIO/MAQUINA-W", "local/aaa"}));
        e.navegador->Perde("wsd:2");
        e.navegador->Perde("mdns:2");
        QCOMPARE(Arvore(arvore), QStringList({"ESCRITORIO/MAQUINA-W", "local/maquina-b"}));
        e.navegador->PerdeTodos("mdns:");
        QCOMPARE(Arvore(arvore), QStringList({"ESCRITORIO/MAQUINA-W"}));
        QCOMPARE(arvore->topLevelItem(0)->child(0)->childCount(), 1); // empty group gone
        // A browser that already knows machines fills a new form at once.
        auto* navegador = new NavegadorRede;
        navegador->Avista("x", "PRONTA", "GRUPO");
        TFrmConexoes outro({}, nullptr, e.principal.get(), navegador);
        QCOMPARE(Arvore(outro.findChild<QTreeWidget*>("ShTVRede")), QStringList({"GRUPO/PRONTA"}));
    }

    // A selected node whose machine leaves stays where it is, greyed, and is not captured;
    // it goes once the user picks another node, and is itself again if the machine comes back.
    // Never does the selection move by itself.
    void selecionadaSai_data() {
        QTest::addColumn<QString>("selecionado");
        QTest::addColumn<QStringList>("passos"); // "-key", "+key name group", "=node" (user picks)
        QTest::addColumn<QString>("atual");      // the current node then, "*" when greyed
        QTest::addColumn<QString>("capturado");
        QTest::addColumn<QStringList>("arvore");
        const QStringList tres{"ESCRITORIO/MAQUINA-W", "ESCRITORIO/MAQUINA-X", "local/aaa"};
        QTest::newRow("a selecionada sai") << "MAQUINA-W" << QStringList{"-w"} << "*MAQUINA-W"
                                           << "ANTES" << tres;
        QTest::newRow("outra sai")
            << "MAQUINA-W" << QStringList{"-x"} << "MAQUINA-W"
            << "MAQUINA-W" << QStringList{"ESCRITORIO/MAQUINA-W", "local/aaa"};
        QTest::newRow("sai e volta")
            << "MAQUINA-W" << QStringList{"-w", "+w MAQUINA-W ESCRITORIO"} << "MAQUINA-W"
            << "MAQUINA-W" << tres;
        QTest::newRow("sai, o usuário escolhe outra")
            << "MAQUINA-W" << QStringList{"-w", "=MAQUINA-X"} << "MAQUINA-X"
            << "MAQUINA-X" << QStringList{"ESCRITORIO/MAQUINA-X", "local/aaa"};
        QTest::newRow("muda de grupo")
            << "aaa" << QStringList{"+a2 AAA GRUPO"} << "*aaa"
            << "ANTES"
            << QStringList{"ESCRITORIO/MAQUINA-W", "ESCRITORIO/MAQUINA-X", "GRUPO/AAA",
                           "local/aaa"};
        QTest::newRow("o grupo selecionado esvazia")
            << "local" << QStringList{"-a"} << "*local"
            << "ANTES" << QStringList{"ESCRITORIO/MAQUINA-W", "ESCRITORIO/MAQUINA-X"};
        QTest::newRow("esvazia e o usuário escolhe outra")
            << "local" << QStringList{"-a", "=ESCRITORIO"} << "ESCRITORIO"
            << "ESCRITORIO" << QStringList{"ESCRITORIO/MAQUINA-W", "ESCRITORIO/MAQUINA-X"};
    }
    void selecionadaSai() {
        QFETCH(QString, selecionado);
        QFETCH(QStringList, passos);
        QFETCH(QString, atual);
        QFETCH(QString, capturado);
        QFETCH(QStringList, arvore);
        Editor e(0);
        e.navegador->Avista("w", "MAQUINA-W", "ESCRITORIO");
        e.navegador->Avista("x", "MAQUINA-X", "ESCRITORIO");
        e.navegador->Avista("a", "aaa", "local", false);
        QTest::mouseClick(e.w<QRadioButton>("RdBtnRemota"), Qt::LeftButton);
        e.edit("EdtServBanco")->setText("ANTES");
        auto* t = e.w<QTreeWidget>("ShTVRede");
        const auto no = [t](const QString& texto) {
            return t->findItems(texto, Qt::MatchExactly | Qt::MatchRecursive).value(0);
        };
        t->setCurrentItem(no(selecionado));
        for (const QString& p : passos) {
            const QStringList partes = p.mid(1).split(u' ');
            if (p.startsWith(u'-'))
                e.navegador->Perde(partes[0]);
            else if (p.startsWith(u'+'))
                e.navegador->Avista(partes[0], partes[1], partes[2], true);
            else
                t->setCurrentItem(no(partes[0]));
            QCoreApplication::processEvents();
        }
        QVERIFY(t->currentItem());
        QCOMPARE((t->currentItem()->isDisabled() ? u"*"_qs : QString()) + t->currentItem()->text(0),
                 atual);
        e.Clica("BitBtnCapturar");
        QCOMPARE(e.edit("EdtServBanco")->text(), capturado);
        QCOMPARE(Arvore(t), arvore);
    }

    // Each save check in its order: the message, the focus, and nothing written.
    void gravarRecusa_data() {
        QTest::addColumn<int>("tag");
        QTest::addColumn<bool>("remota");
        QTest::addColumn<QStringList>("campos"); // alias, server, folder ("=" keeps)
        QTest::addColumn<bool>("ip");
        QTest::addColumn<QString>("mensagem");
        QTest::addColumn<QString>("foco");
        QTest::newRow("apelido em branco") << 0 << true << QStringList{" ", "SRV", "C:\\V"} << false
                                           << "Informe o Apelido do Servidor!"
                                           << "EdtApelido";
        QTest::newRow("aplicação em branco antes do servidor")
            << 0 << true << QStringList{"X", "", "\t"} << false
            << "Informe o Servidor de Aplicação!"
            << "DirEdtAplicacao";
        QTest::newRow("servidor só de brancos") << 0 << true << QStringList{"X", "   ", "C:\\V"}
                                                << false << "Informe o nome ou IP da máquina."
                                                << "EdtServBanco";
        QTest::newRow("IP inválido antes dos duplicados")
            << 0 << true << QStringList{"ALFA", "SRV01", "C:\\V"} << true
            << "Endereço IP inválido.    "
            << "EdtServBanco";
        QTest::newRow("incluir: apelido e servidor repetidos, só o apelido, sem exclamação")
            << 0 << true << QStringList{"alfa", "SRV01", "C:\\V"} << false
            << "Já existe uma conexão com este Apelido"
            << "EdtApelido";
        QTest::newRow("incluir: servidor repetido, remota")
            << 0 << true << QStringList{"NOVA", "10.0.0.2", "C:\\V"} << true
            << "Já existe uma conexão com este Servidor!"
            << "EdtServBanco";
        QTest::newRow("incluir: servidor repetido, local")
            << 0 << false << QStringList{"NOVA", "=", "C:\\V"} << false
            << "Já existe uma conexão com este Servidor!"
            << "RdBtnLocal";
        QTest::newRow("alterar: apelido de outra")
            << 2 << true << QStringList{"GAMA", "=", "="} << false
            << "Já existe uma conexão com este Apelido!"
            << "EdtApelido";
        QTest::newRow("alterar: servidor de outra")
            << 2 << true << QStringList{"=", "10.0.0.3", "="} << false
            << "Já existe uma conexão para este Servidor!"
            << "EdtServBanco";
        // Judged as the file would hold them: trimmed, the server without its quotes.
        QTest::newRow("incluir: branco antes do apelido")
            << 0 << true << QStringList{" ALFA", "X", "C:\\V"} << false
            << "Já existe uma conexão com este Apelido"
            << "EdtApelido";
        QTest::newRow("alterar: apelido de outra com tabulação")
            << 2 << true << QStringList{"GAMA\t", "=", "="} << false
            << "Já existe uma conexão com este Apelido!"
            << "EdtApelido";
        QTest::newRow("incluir: servidor entre aspas e brancos")
            << 0 << true << QStringList{"NOVA", " '10.0.0.2'", "C:\\V"} << true
            << "Já existe uma conexão com este Servidor!"
            << "EdtServBanco";
        // No byte in Windows-1252: it would be stored as '?'.
        const QString semByte = u"O campo \"%1\" contém o caractere \"%2\", que o arquivo de "
                                u"conexões não pode guardar."_qs;
        QTest::newRow("apelido fora do Windows-1252")
            << 0 << true << QStringList{u"ŁÓDŹ"_qs, "X", "C:\\V"} << false
            << semByte.arg(u"Apelido do Servidor"_qs, u"Ł"_qs) << "EdtApelido";
        QTest::newRow("servidor fora do Windows-1252")
            << 0 << true << QStringList{"NOVA", u"SERVIDOR-Ł"_qs, "C:\\V"} << false
            << semByte.arg(u"Servidor do Banco"_qs, u"Ł"_qs) << "EdtServBanco";
        QTest::newRow("alterar: aplicação fora do Windows-1252")
            << 2 << true << QStringList{"=", "=", u"C:\\ŁÓDŹ"_qs} << false
            << semByte.arg(u"Servidor da Aplicação"_qs, u"Ł"_qs) << "DirEdtAplicacao";
    }
    void gravarRecusa() {
        QFETCH(int, tag);
        QFETCH(bool, remota);
        QFETCH(QStringList, campos);
        QFETCH(bool, ip);
        QFETCH(QString, mensagem);
        QFETCH(QString, foco);
        // The local server is registered as a fourth connection, for the local duplicate.
        Editor e(tag, kTres);
        const QByteArray antes =
            kTres + Secao("LOCAL", e.Local(), TipoServidorLocal(), "C:\\L", "I");
        e.inst.Grava("CONEXOES.INI", antes);
        if (tag == 2)
            e.Escolhe("ALFA");
        if (remota != !e.w<QRadioButton>("RdBtnLocal")->isChecked())
            QTest::mouseClick(e.w<QRadioButton>(remota ? "RdBtnRemota" : "RdBtnLocal"),
                              Qt::LeftButton);
        const char* nomes[] = {"EdtApelido", "EdtServBanco", "DirEdtAplicacao"};
        for (int i = 0; i < 3; ++i)
            if (campos[i] != QLatin1String("="))
                e.edit(nomes[i])->setText(campos[i]);
        e.w<QCheckBox>("ChkBxIPBanco")->setChecked(ip);
        e.w<QPushButton>("BitBtnCancelar")->setFocus();
        e.Clica("BitBtnGravar");
        QCOMPARE(e.msgs.Textos(), QStringList{mensagem});
        QCOMPARE(e.msgs.Pedidos().at(0).titulo, kVelto);
        QCOMPARE(e.msgs.Pedidos().at(0).icone, IconeMensagem::Aviso);
        QCOMPARE(e.Foco(), foco);
        QVERIFY(e.form->isVisible());
        QCOMPARE(e.Arquivo(), antes);
    }

    // A new connection is written as typed, made active, and the editor closes in silence.
    void incluir_data() {
        QTest::addColumn<bool>("remota");
        QTest::addColumn<bool>("linux");
        QTest::addColumn<QByteArray>("secao"); // "*": the local one
        QTest::newRow("remota Linux")
            << true << true << Secao("NOVA", "10.0.0.9", "Linux", "C:\\V", "A");
        QTest::newRow("remota Windows")
            << true << false << Secao("NOVA", "10.0.0.9", "Windows", "C:\\V", "A");
        QTest::newRow("local") << false << false << QByteArray("*");
    }
    void incluir() {
        QFETCH(bool, remota);
        QFETCH(bool, linux);
        QFETCH(QByteArray, secao);
        Editor e(0);
        if (remota) {
            QTest::mouseClick(e.w<QRadioButton>("RdBtnRemota"), Qt::LeftButton);
            QTest::mouseClick(e.w<QRadioButton>(linux ? "RdBtnLinux" : "RdBtnWindows"),
                              Qt::LeftButton);
            e.edit("EdtServBanco")->setText("10.0.0.9");
            e.edit("EdtApelido")->setText("NOVA");
            e.w<QCheckBox>("ChkBxIPBanco")->setChecked(true);
        } else {
            secao = Secao(u"LOCAL - "_qs + e.Local(), e.Local(), TipoServidorLocal(), "C:\\V", "A");
        }
        e.edit("DirEdtAplicacao")->setText("C:\\V");
        e.Clica("BitBtnGravar");
        QVERIFY(e.msgs.Pedidos().isEmpty());
        QVERIFY(!e.form->isVisible());
        QVERIFY(e.form->PodeFechar);
        QByteArray esperado = kTres;
        esperado.replace("Status=A", "Status=I");
        QCOMPARE(e.Arquivo(), esperado + secao);
        QCOMPARE(e.principal->FltCbxApelidoServidor()->currentText(),
                 remota ? u"NOVA"_qs : u"LOCAL - "_qs + e.Local());
        QVERIFY(e.inst.Le("DBXCONNECTIONS.INI").contains("[EMPRESA]"));
    }

    // The choose stage: what the entry page shows for the stored connection.
    void escolher_data() {
        QTest::addColumn<QByteArray>("secao"); // the one connection ZETA ("*" = the local one)
        QTest::addColumn<bool>("local");
        QTest::addColumn<bool>("linux");
        QTest::addColumn<bool>("ip");
        QTest::newRow("Windows exato")
            << Secao("ZETA", "SRV", "Windows", "C:\\Z", "I") << false << false << false;
        QTest::newRow("WINDOWS maiúsculo mostra Linux")
            << Secao("ZETA", "SRV", "WINDOWS", "C:\\Z", "I") << false << true << false;
        QTest::newRow("tipo vazio mostra Linux")
            << Secao("ZETA", "SRV", "", "C:\\Z", "I") << false << true << false;
        QTest::newRow("IP guardado marca IP")
            << Secao("ZETA", "10.1.1.1", "Linux", "C:\\Z", "I") << false << true << true;
        QTest::newRow("local") << QByteArray("*") << true << false << false;
    }
    void escolher() {
        QFETCH(QByteArray, secao);
        QFETCH(bool, local);
        QFETCH(bool, linux);
        QFETCH(bool, ip);
        Editor e(2, QByteArray());
        if (local) {
            secao = Secao("ZETA", e.Local(), "Linux", "C:\\Z", "I");
            linux = TipoServidorLocal() == QLatin1String("Linux");
        }
        e.inst.Grava("CONEXOES.INI", Secao("ALFA", "A", "Linux", "C:\\A", "A") + secao);
        e.form->FormShow(); // reload the choose list from the file just written
        auto* lista = e.w<QComboBox>("FltCbboxEdicao");
        QCOMPARE(Itens(lista), QStringList({"ALFA", "ZETA"}));
        QCOMPARE(lista->currentText(), u"ZETA"_qs); // the last alias, already read
        QCOMPARE(e.form->ApelidoAnterior, u"ZETA"_qs);
        e.Clica("BtnEscolher");
        QVERIFY(!e.w<QWidget>("PnlEscolherConexao")->isVisible());
        QVERIFY(e.w<QWidget>("PgCtrlConexoes")->isVisible());
        QCOMPARE(e.w<QRadioButton>("RdBtnLocal")->isChecked(), local);
        QCOMPARE(e.TipoLinux(), linux);
        QCOMPARE(e.w<QCheckBox>("ChkBxIPBanco")->isChecked(), ip);
        QCOMPARE(e.edit("EdtApelido")->text(), local ? u"LOCAL - "_qs + e.Local() : u"ZETA"_qs);
        QCOMPARE(e.edit("EdtServBanco")->text(), local ? e.Local() : e.form->ServidorAnterior);
        QCOMPARE(e.edit("DirEdtAplicacao")->text(), u"C:\\Z"_qs);
        QVERIFY(e.msgs.Pedidos().isEmpty());
    }

    void escolherSemConexoes() {
        Editor e(2, QByteArray());
        e.Clica("BtnEscolher");
        QCOMPARE(e.msgs.Textos(), QStringList{u"Selecione um servidor para se alterado!"_qs});
        QCOMPARE(e.msgs.Pedidos().at(0).titulo, kVelto);
        QVERIFY(e.w<QWidget>("PnlEscolherConexao")->isVisible());
    }

    // Altering without a change saves: the section is rewritten and made active.
    void alterarSemMudar() {
        Editor e(2);
        e.Escolhe("GAMA");
        e.Clica("BitBtnGravar");
        QVERIFY(e.msgs.Pedidos().isEmpty());
        QVERIFY(!e.form->isVisible());
        QCOMPARE(e.Arquivo(), Secao("BETA", "10.0.0.2", "Linux", "/OPT/B", "I") +
                                  Secao("ALFA", "SRV01", "Windows", "C:\\A", "I") +
                                  Secao("GAMA", "10.0.0.3", "Linux", "C:\\G", "A"));
        QCOMPARE(e.principal->FltCbxApelidoServidor()->currentText(), u"GAMA"_qs);
    }

    // An alias stored in lower case shows upper-cased: unchanged, it is still itself.
    void alterarMinusculas() {
        Editor e(2, Secao("alfa", "srv01", "Windows", "c:\\a", "A") +
                        Secao("BETA", "S2", "Windows", "C:\\B", "I"));
        e.Escolhe("alfa");
        QCOMPARE(e.edit("EdtApelido")->text(), u"ALFA"_qs);
        e.Clica("BitBtnGravar");
        QVERIFY(e.msgs.Pedidos().isEmpty());
        QCOMPARE(e.Arquivo(), Secao("BETA", "S2", "Windows", "C:\\B", "I") +
                                  Secao("ALFA", "SRV01", "Windows", "C:\\A", "A"));
    }

    void alterarApelido() {
        Editor e(2);
        e.Escolhe("BETA");
        e.edit("EdtApelido")->setText("DELTA");
        e.Clica("BitBtnGravar");
        QVERIFY(e.msgs.Pedidos().isEmpty());
        const QByteArray depois = e.Arquivo();
        QVERIFY(!depois.contains("[BETA]"));
        QVERIFY(depois.endsWith(Secao("DELTA", "10.0.0.2", "Linux", "/OPT/B", "A")));
        QCOMPARE(Itens(e.principal->FltCbxApelidoServidor()),
                 QStringList({"ALFA", "DELTA", "GAMA"}));
    }

    // A registry that cannot be written keeps the connection being altered.
    void alterarFalhaMantemAntiga() {
        Editor e(2);
        e.Escolhe("BETA");
        e.edit("EdtApelido")->setText("DELTA");
        const QString arquivo = e.inst.Caminho("CONEXOES.INI");
        QFile::setPermissions(arquivo, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        e.Clica("BitBtnGravar");
        QFile::setPermissions(arquivo, QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(e.Arquivo(), kTres);
        QVERIFY(!e.msgs.Textos().isEmpty());
        for (const QString& t : e.msgs.Textos())
            QCOMPARE(t, u"Não foi possível abrir o arquivo de conexões!"_qs);
    }

    // Deleting: which connection is in use afterwards, and the files.
    void excluir_data() {
        QTest::addColumn<QString>("apelido");
        QTest::addColumn<QString>("ativa");  // active before
        QTest::addColumn<QString>("depois"); // in use afterwards
        QTest::addColumn<QStringList>("restam");
        QTest::newRow("ativa e primeira: a segunda") << "ALFA"
                                                     << "ALFA"
                                                     << "BETA" << QStringList{"BETA", "GAMA"};
        QTest::newRow("ativa no meio: a anterior") << "BETA"
                                                   << "BETA"
                                                   << "ALFA" << QStringList{"ALFA", "GAMA"};
        QTest::newRow("ativa e última: a anterior") << "GAMA"
                                                    << "GAMA"
                                                    << "BETA" << QStringList{"ALFA", "BETA"};
        QTest::newRow("não é a ativa: a ativa fica") << "GAMA"
                                                     << "ALFA"
                                                     << "ALFA" << QStringList{"ALFA", "BETA"};
    }
    void excluir() {
        QFETCH(QString, apelido);
        QFETCH(QString, ativa);
        QFETCH(QString, depois);
        QFETCH(QStringList, restam);
        QByteArray conexoes = kTres;
        conexoes.replace("Status=A", "Status=I");
        const qsizetype i =
            conexoes.indexOf("Status=I", conexoes.indexOf(("[" + ativa + "]").toLatin1()));
        conexoes.replace(i, 8, "Status=A");
        Editor e(1, conexoes);
        auto* lista = e.w<QComboBox>("FltCbboxExclusao");
        QCOMPARE(Itens(lista), QStringList({"ALFA", "BETA", "GAMA"}));
        QCOMPARE(lista->currentText(), u"GAMA"_qs); // opens on the last alias
        QVERIFY(e.principal->CbboxServidor()->currentIndex() < 0);
        lista->setCurrentIndex(lista->findText(apelido));
        e.Clica("BitBtnExcluir");
        QCOMPARE(e.msgs.Textos(), QStringList{u"Conexão excluida com sucesso!"_qs});
        QVERIFY(e.form->isVisible());
        QCOMPARE(Itens(lista), restam);
        QCOMPARE(Itens(e.principal->FltCbxApelidoServidor()), restam);
        QCOMPARE(e.principal->FltCbxApelidoServidor()->currentText(), depois);
        QVERIFY(e.Arquivo().contains(("[" + depois + "]").toLatin1()));
        QCOMPARE(RegistroConexoes::LeConexao(e.principal->PastaPrograma, depois)->status, u"A"_qs);
        // The connection in use was (re)marked and the dbExpress file written for it.
        const QString servidor =
            RegistroConexoes::LeConexao(e.principal->PastaPrograma, depois)->servidor;
        QVERIFY(e.inst.Le("DBXCONNECTIONS.INI").contains("Database=" + servidor.toLatin1() + ":"));
    }

    void excluirRecusas() {
        {
            Editor e(1);
            auto* lista = e.w<QComboBox>("FltCbboxExclusao");
            lista->setCurrentIndex(-1);
            e.Clica("BitBtnExcluir");
            QCOMPARE(e.msgs.Textos(), QStringList{u"Escolha um servidor para ser excluído!"_qs});
            QCOMPARE(e.Foco(), u"FltCbboxExclusao"_qs);
            QVERIFY(e.form->isVisible());
            QCOMPARE(e.Arquivo(), kTres);
        }
        {
            Editor e(1, Secao("SO", "S", "Linux", "C:\\S", "A"));
            e.Clica("BitBtnExcluir");
            QCOMPARE(e.msgs.Textos(), QStringList{u"Você precisa ter ao menos um servidor "
                                                  u"cadastrado!\rNão foi possivel excluir o "
                                                  u"servidor!"_qs});
            QCOMPARE(e.msgs.Pedidos().at(0).titulo, kVelto);
            QVERIFY(!e.form->isVisible());
            QCOMPARE(e.Arquivo(), Secao("SO", "S", "Linux", "C:\\S", "A"));
        }
    }

    // Closing: refused but through the form's own ways; Escape works in every stage.
    void fechar_data() {
        QTest::addColumn<int>("tag");
        QTest::addColumn<bool>("escolhido"); // alter mode past the choose stage
        QTest::addColumn<QString>("foco");
        QTest::newRow("incluir, no apelido") << 0 << false << "EdtApelido";
        QTest::newRow("incluir, na árvore") << 0 << false << "ShTVRede";
        QTest::newRow("excluir, na lista") << 1 << false << "FltCbboxExclusao";
        QTest::newRow("alterar, escolha") << 2 << false << "FltCbboxEdicao";
        QTest::newRow("alterar, edição") << 2 << true << "EdtServBanco";
    }
    void fechar() {
        QFETCH(int, tag);
        QFETCH(bool, escolhido);
        QFETCH(QString, foco);
        Editor e(tag);
        if (escolhido)
            e.Escolhe("ALFA");
        if (tag == 0)
            QTest::mouseClick(e.w<QRadioButton>("RdBtnRemota"), Qt::LeftButton);
        QVERIFY(!e.form->close());
        QVERIFY(e.form->isVisible());
        e.form->reject();
        QVERIFY(e.form->isVisible());
        QWidget* alvo = e.w<QWidget>(foco.toLatin1().constData());
        alvo->setFocus();
        QTest::keyClick(alvo, Qt::Key_Escape);
        QVERIFY(!e.form->isVisible());
        QVERIFY(e.form->PodeFechar);
        QVERIFY(e.msgs.Pedidos().isEmpty());
        QCOMPARE(e.Arquivo(), kTres);
    }

    void botoesDeSaida_data() {
        QTest::addColumn<int>("tag");
        QTest::addColumn<QString>("botao");
        QTest::newRow("Cancelar") << 0 << "BitBtnCancelar";
        QTest::newRow("Sair") << 1 << "BitBtnVoltar";
        QTest::newRow("Desistir") << 2 << "BtnCancelaEdicao";
    }
    void botoesDeSaida() {
        QFETCH(int, tag);
        QFETCH(QString, botao);
        Editor e(tag);
        e.Clica(botao.toLatin1().constData());
        QVERIFY(!e.form->isVisible());
    }

    // The opener's entry: modal, owned by the main window, freed when it closes.
    void abreEditor() {
        Instalacao inst;
        inst.Grava(QStringLiteral("CONEXOES.INI"), kTres);
        GravadorMensagens msgs;
        TFrmPrincipal principal(inst.Caminho(QStringLiteral("Gerenciador")));
        principal.show();
        QPointer<TFrmConexoes> visto;
        QTimer::singleShot(0, &principal, [&] {
            visto = FrmConexoes;
            QVERIFY(visto && visto->isModal() && visto->parentWidget() == &principal);
            QCOMPARE(visto->windowTitle(), u"VELTO - Excluir Conexão"_qs);
            QTest::keyClick(visto->findChild<QComboBox*>("FltCbboxExclusao"), Qt::Key_Escape);
        });
        AbreEditorConexoes(principal.Instalacao(), &principal, &principal, 1);
        QVERIFY(!visto);
        QVERIFY(!FrmConexoes);
        QVERIFY(msgs.Pedidos().isEmpty());
    }

    // The folder dialog starts in the program's folder; what is chosen goes in upper case.
    void pastaAplicacao() {
        Editor e(0);
        QDir(e.inst.Pasta()).mkdir("apl");
        QString inicio;
        QTimer::singleShot(0, e.form, [&] {
            auto* dialogo = e.form->findChild<QFileDialog*>("DlgPastaAplicacao");
            QVERIFY(dialogo);
            QCOMPARE(dialogo->windowTitle(), u"Selecione uma pasta"_qs);
            inicio = dialogo->directory().absolutePath();
            dialogo->selectFile(e.inst.Caminho("apl"));
            QMetaObject::invokeMethod(dialogo, "accept");
        });
        e.edit("DirEdtAplicacao")->findChild<QAction*>("AcaoPastaAplicacao")->trigger();
        QCOMPARE(QDir(inicio), QDir(e.principal->PastaPrograma));
        QCOMPARE(e.edit("DirEdtAplicacao")->text(),
                 MaiusculasAscii(QDir::toNativeSeparators(e.inst.Caminho("apl"))));
    }
};

QTEST_MAIN(TstConexoes)
#include "tst_conexoes.moc"
