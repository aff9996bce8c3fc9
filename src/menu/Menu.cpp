#include "menu/Menu.h"

#include "common/ArquivoIni.h"
#include "common/Mensagem.h"
#include "common/Tipografia.h"
#include "common/Versao.h"
#include "conexoes/AbreConexoes.h"
#include "conexoes/OperacoesPrincipal.h"
#include "conexoes/TesteConexao.h"
#include "menu/Animacao.h"
#include "menu/Botoes.h"
#include "menu/DMIBSecurity.h"
#include "menu/FerramentasSuporte.h"
#include "menu/Glifos.h"
#include "registro/RegistroConexoes.h"
#include "ui_Menu.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QScopeGuard>
#include <QVariantAnimation>
#include <memory>

TFrmMenu* FrmMenu = nullptr;

namespace {

constexpr int kLargura = 120;
constexpr int kAltura = 376;
constexpr int kDuracaoAbertura = 150; // ms

void PoeCor(QWidget* w, const QColor& cor) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, cor);
    w->setPalette(p);
}

} // namespace

QColor TFrmMenu::CorTitulo() {
    return QColor(18, 54, 84);
}
QColor TFrmMenu::CorLink() {
    return QColor(55, 88, 104);
}
QColor TFrmMenu::CorXSobre() {
    return QColor(255, 0, 0);
}
QColor TFrmMenu::CorXDepois() {
    return QColor(0, 64, 128);
}

TFrmMenu::TFrmMenu(DadosInstalacao instalacao, OperacoesPrincipal* principal, QWidget* dono)
    : QDialog(dono), PopupMenu1(new QMenu(this)), ui(new Ui::TFrmMenu),
      instalacao_(std::move(instalacao)), principal_(principal) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFixedSize(kLargura, kAltura);
    setModal(true);
    setAttribute(Qt::WA_DeleteOnClose);
    setBackgroundRole(QPalette::Window);

    AplicaTipografia(this);
    ui->LblX->setFont(FonteDe(Tipografia::Interface, 11, true));
    PoeCor(ui->LblX, CorTitulo());
    ui->Label2->setFont(FonteDe(Tipografia::Arial, 13, true));
    PoeCor(ui->Label2, CorTitulo());
    const QList<QLabel*> textos = Links() << ui->LblVersao;
    for (QLabel* rotulo : textos) {
        rotulo->setFont(FonteDe(Tipografia::Arial, 11, false));
        PoeCor(rotulo, CorLink());
    }
    ui->LblVersao->setAttribute(Qt::WA_TranslucentBackground);

    ui->BitBtnIncluir->setIcon(IconeGlifo(Glifo::Incluir));
    ui->BitBtn2->setIcon(IconeGlifo(Glifo::Alterar));
    ui->BitBtnExcluir->setIcon(IconeGlifo(Glifo::Excluir));
    connect(ui->BitBtnIncluir, &QPushButton::clicked, this, [this] { BitBtnIncluirClick(); });
    connect(ui->BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connect(ui->BitBtnExcluir, &QPushButton::clicked, this, [this] { BitBtnExcluirClick(); });

    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    QAction* ibexpert = PopupMenu1->addAction(QStringLiteral("IBexpert"));
    ibexpert->setObjectName(QStringLiteral("IBexpert1"));
    connect(ibexpert, &QAction::triggered, this, [this] { IBexpert1Click(); });
    connect(ui->Label2, &QLabel::customContextMenuRequested, this,
            [this](const QPoint& ponto) { PopupMenu1->popup(ui->Label2->mapToGlobal(ponto)); });

    // Key preview, hover and clicks of the labels: every event passes here first.
    qApp->installEventFilter(this);
    FrmMenu = this;
}

TFrmMenu::~TFrmMenu() {
    qApp->removeEventFilter(this);
    delete ui;
    if (FrmMenu == this)
        FrmMenu = nullptr;
}

QList<QLabel*> TFrmMenu::Links() const {
    return {ui->LblAtualizar,     ui->LblCarregarBackup, ui->LblTestarConexao, ui->LblSuporte,
            ui->LblSuporteRemoto, ui->LblUsuarioVELTO,   ui->LblBotoes};
}

void TFrmMenu::showEvent(QShowEvent* evento) {
    QDialog::showEvent(evento);
    if (!evento->spontaneous())
        FormShow();
}

void TFrmMenu::closeEvent(QCloseEvent* evento) {
    QDialog::closeEvent(evento);
    if (evento->isAccepted())
        FormClose();
}

void TFrmMenu::FormShow() {
    ui->LblVersao->setText(QStringLiteral("Versão ") + VersaoDoArquivo());
    if (principal_)
        move(principal_->PosicaoMenu());
    AnimaAbertura();
}

void TFrmMenu::AnimaAbertura() {
    // Shown from here on: this event comes before the window reaches the screen.
    if (QGuiApplication::platformName() == QLatin1String("windows") &&
        DesenrolaJanelaNativa(winId(), kDuracaoAbertura))
        return;
    // Elsewhere the same unrolling: the visible part grows from the left edge to the right.
    // Platforms with no screen to watch it (tests, screenshots off screen) show it at once.
    const QString plataforma = QGuiApplication::platformName();
    if (plataforma == QLatin1String("offscreen") || plataforma == QLatin1String("minimal"))
        return;
    delete animacao_;
    animacao_ = new QVariantAnimation(this);
    animacao_->setDuration(kDuracaoAbertura);
    animacao_->setStartValue(1);
    animacao_->setEndValue(kLargura);
    connect(animacao_, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& largura) { setMask(QRect(0, 0, largura.toInt(), kAltura)); });
    connect(animacao_, &QVariantAnimation::finished, this, [this] { clearMask(); });
    setMask(QRect(0, 0, 1, kAltura));
    animacao_->start();
}

void TFrmMenu::FormClose() {
    // The panel is freed once its modal run has ended (or at once when shown without one).
    if (FrmMenu == this)
        FrmMenu = nullptr;
}

bool TFrmMenu::FormKeyDown(int tecla, Qt::KeyboardModifiers) {
    if (tecla != Qt::Key_Escape)
        return false;
    close();
    return true;
}

bool TFrmMenu::eventFilter(QObject* objeto, QEvent* evento) {
    switch (evento->type()) {
    case QEvent::KeyPress:
        if (objeto->isWidgetType() && static_cast<QWidget*>(objeto)->window() == this) {
            const auto* tecla = static_cast<QKeyEvent*>(evento);
            if (FormKeyDown(tecla->key(), tecla->modifiers()))
                return true;
        }
        break;
    case QEvent::Enter:
    case QEvent::Leave: {
        const bool entra = evento->type() == QEvent::Enter;
        if (objeto == ui->LblX) {
            entra ? LblXMouseEnter() : LblXMouseLeave();
        } else if (auto* rotulo = qobject_cast<QLabel*>(objeto);
                   rotulo && Links().contains(rotulo)) {
            entra ? LblAtualizarMouseEnter(rotulo) : LblAtualizarMouseLeave(rotulo);
        }
        break;
    }
    case QEvent::MouseButtonRelease: {
        // A label is clicked when the left button comes up over it.
        auto* rotulo = qobject_cast<QLabel*>(objeto);
        const auto* mouse = static_cast<QMouseEvent*>(evento);
        if (!rotulo || rotulo->window() != this || mouse->button() != Qt::LeftButton ||
            !rotulo->rect().contains(mouse->position().toPoint()))
            break;
        const struct {
            QLabel* rotulo;
            void (TFrmMenu::*clique)();
        } cliques[] = {
            {ui->LblX, &TFrmMenu::LblXClick},
            {ui->LblAtualizar, &TFrmMenu::LblAtualizarClick},
            {ui->LblCarregarBackup, &TFrmMenu::LblCarregarBackupClick},
            {ui->LblTestarConexao, &TFrmMenu::LblTestarConexaoClick},
            {ui->LblSuporte, &TFrmMenu::LblSuporteClick},
            {ui->LblSuporteRemoto, &TFrmMenu::LblSuporteRemotoClick},
            {ui->LblUsuarioVELTO, &TFrmMenu::LblUsuarioVELTOClick},
            {ui->LblBotoes, &TFrmMenu::LblBotoesClick},
        };
        for (const auto& c : cliques) {
            if (c.rotulo == rotulo) {
                (this->*c.clique)();
                return true;
            }
        }
        break;
    }
    default:
        break;
    }
    return QDialog::eventFilter(objeto, evento);
}

void TFrmMenu::LblXClick() {
    close();
}

void TFrmMenu::LblXMouseEnter() {
    PoeCor(ui->LblX, CorXSobre());
}

void TFrmMenu::LblXMouseLeave() {
    PoeCor(ui->LblX, CorXDepois());
}

void TFrmMenu::LblAtualizarMouseEnter(QLabel* rotulo) {
    QFont f = rotulo->font();
    f.setBold(false);
    f.setItalic(false);
    f.setStrikeOut(false);
    f.setUnderline(true);
    rotulo->setFont(f);
}

void TFrmMenu::LblAtualizarMouseLeave(QLabel* rotulo) {
    QFont f = rotulo->font();
    f.setBold(false);
    f.setItalic(false);
    f.setStrikeOut(false);
    f.setUnderline(false);
    rotulo->setFont(f);
}

void TFrmMenu::AbreEditor(int tag) {
    hide();
    AbreEditorConexoes(instalacao_, principal_, principal_ ? principal_->Janela() : parentWidget(),
                       tag);
    close();
}

void TFrmMenu::BitBtnIncluirClick() {
    AbreEditor(0);
}

void TFrmMenu::BitBtn2Click() {
    AbreEditor(2);
}

void TFrmMenu::BitBtnExcluirClick() {
    // Only exactly one server is refused: with none the editor opens all the same.
    if (principal_ && principal_->QuantidadeConexoes() == 1) {
        MostraMensagem(QStringLiteral("Você precisa ter ao menos um servidor cadastrado!\r"
                                      "Não é possível excluir o último servidor!"),
                       QString::fromUtf16(RegistroConexoes::kTituloMensagem), IconeMensagem::Aviso);
        return;
    }
    AbreEditor(1);
}

void TFrmMenu::LblTestarConexaoClick() {
    // The server of the connection in use, from the registry in the program's folder (the
    // executable's folder: on Windows only the letter case differs). A missing file or an
    // alias without a section gives an empty host and no message.
    QString servidor;
    if (principal_) {
        const ArquivoIni conexoes(instalacao_.PastaPrograma + QStringLiteral("CONEXOES.INI"));
        if (conexoes.LeituraOk())
            servidor = conexoes.LeTexto(principal_->ApelidoEmUso(), QStringLiteral("Servidor"));
        else
            MostraMensagem(QStringLiteral("Não foi possível abrir o arquivo de conexões!"),
                           QStringLiteral("GERENCIADOR"), IconeMensagem::Erro);
    }
    // Owned by the panel: only hidden when it closes, freed with the panel.
    auto* teste = new TFrmTesteConexao(this);
    teste->DefineHost(servidor);
    // The database line: what the modules open, the edition's dbExpress connection.
    if (principal_)
        teste->DefineBanco(instalacao_.PastaPrograma +
                               QString::fromUtf16(RegistroConexoes::kArquivoDbx),
                           RegistroConexoes::SecaoDbx(instalacao_.NomePasta));
    teste->exec();
}

void TFrmMenu::LblUsuarioVELTOClick() {
    // The panel closes however the creation ends, once the data module is gone.
    const auto fecha = qScopeGuard([this] { close(); });
    const std::unique_ptr<TFDMIBSecurity> dados(new TFDMIBSecurity(this));
    dados->CriaUsuarioVELTO();
}

void TFrmMenu::LblBotoesClick() {
    const std::unique_ptr<TFrmConfigBotoes> dialogo(
        new TFrmConfigBotoes(this, instalacao_.PastaPrograma + QStringLiteral("VELTO.INI")));
    if (principal_) {
        const QWidget* janela = principal_->Janela();
        dialogo->move(janela->x() + 314, janela->y() + 90);
        dialogo->EscolhePagina(instalacao_.NomePasta);
    }
    dialogo->exec();
}

void TFrmMenu::LblAtualizarClick() {
    FerramentasSuporte::Atualizar(this, instalacao_);
}

void TFrmMenu::LblCarregarBackupClick() {
    FerramentasSuporte::CarregarBackup(this, instalacao_);
}

void TFrmMenu::LblSuporteClick() {
    FerramentasSuporte::AbrirSiteSuporte(this);
}

void TFrmMenu::LblSuporteRemotoClick() {
    FerramentasSuporte::SuporteRemoto(this, instalacao_);
}

void TFrmMenu::IBexpert1Click() {
    FerramentasSuporte::IBExpert(this);
}
