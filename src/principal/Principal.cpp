#include "principal/Principal.h"

#include "common/ArquivoIni.h"
#include "common/Configuracao.h"
#include "common/Edicao.h"
#include "common/Mensagem.h"
#include "common/Texto.h"
#include "common/Tipografia.h"
#include "common/Versao.h"
#include "menu/Menu.h"
#include "principal/Figuras.h"
#include "principal/ThIP.h"
#include "registro/Enderecos.h"
#include "registro/RegistroConexoes.h"
#include "ui_Principal.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPointer>
#include <QScreen>
#include <QShowEvent>
#include <QStringListModel>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <optional>

TFrmPrincipal* FrmPrincipal = nullptr;

namespace {

constexpr int kLargura = 309;
constexpr int kAlturaInicial = 164;
constexpr int kPasso = 40; // button pitch, and the height each shown button adds
constexpr int kEsquerdaBotao = 35;
// The public IP lookup starts at the window's first paint, or after this long (ms) if the
// window system does not have it painted by then.
constexpr int kEsperaPintura = 500;

// Keeps the hourglass up while a module starts, also if the start throws.
struct CursorEspera {
    CursorEspera() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~CursorEspera() { QApplication::restoreOverrideCursor(); }
    CursorEspera(const CursorEspera&) = delete;
    CursorEspera& operator=(const CursorEspera&) = delete;
};

// Puts a whole list into a combo box. A list held by a string list model goes in as one
// model reset, so that a registry of many thousands of servers loads in no time; any other
// combo box is filled item by item.
void PoeItens(QComboBox* combo, const QStringList& itens, int indice) {
    if (auto* modelo = qobject_cast<QStringListModel*>(combo->model())) {
        modelo->setStringList(itens);
    } else {
        combo->clear();
        combo->addItems(itens);
    }
    combo->setCurrentIndex(indice);
}

QStringList Itens(const QComboBox* combo) {
    if (const auto* modelo = qobject_cast<const QStringListModel*>(combo->model()))
        return modelo->stringList();
    QStringList r;
    r.reserve(combo->count());
    for (int i = 0; i < combo->count(); ++i)
        r.append(combo->itemText(i));
    return r;
}

} // namespace

TFrmPrincipal::TFrmPrincipal(const QString& caminhoExecutavel, QWidget* parent)
    : QWidget(parent), ui(nullptr) {
    FrmPrincipal = this;
    Q_INIT_RESOURCE(Principal);
    ui = new Ui::TFrmPrincipal;
    ui->setupUi(this);
    AplicaTipografia(this);
    // The pictures, read without guessing their format; a button's only when it is drawn.
    const auto figura = [](const char* nome) {
        return QStringLiteral(":/principal/figuras/") + QLatin1String(nome);
    };
    ui->Image1->setPixmap(QPixmap::fromImage(LeFigura(figura("banner.png"))));
    setWindowIcon(IconeFigura(figura("velto.png")));
    const struct {
        QAbstractButton* botao;
        const char* figura;
    } icones[] = {
        {ui->FltBtnAdministracao, "modulo01.png"},
        {ui->FltBtnFinanceiro, "modulo02.png"},
        {ui->FltBtnEstoque, "modulo03.png"},
        {ui->FltBtnCaixa, "modulo04.png"},
        {ui->FltBtnSAC, "modulo05.png"},
        {ui->FltBtnServico, "modulo06.png"},
        {ui->FltBtnCentroAutomotivo, "modulo07.png"},
        {ui->FltBtnAgronegocios, "modulo08.png"},
        {ui->FltBtnProducaoAnimal, "modulo09.png"},
        {ui->FltBtnVoltaAsAulas, "modulo10.png"},
        {ui->FltBtnNFEletronica, "modulo11.png"},
        {ui->FltBtnVendas, "modulo12.png"},
        {ui->FltBtnNascimento, "modulo14.png"},
        {ui->FltBtnCasamento, "modulo15.png"},
        {ui->FltBtnObito, "modulo16.png"},
        {ui->FltBtnFirma, "modulo17.png"},
        {ui->FltBtnTabelionato, "modulo18.png"},
        {ui->FltBtnTitulos, "modulo19.png"},
        {ui->FltBtnLivroE, "modulo20.png"},
        {ui->SpdBtnMenu, "configuracoes.png"},
    };
    for (const auto& i : icones)
        i.botao->setIcon(IconeFigura(figura(i.figura)));
    // Fixed single border, system menu and minimise only.
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    for (QPushButton* botao : ui->PnlBotoes->findChildren<QPushButton*>()) {
        botao->hide();
        connect(botao, &QPushButton::clicked, this, [this, botao] { FltBtnClick(botao); });
    }
    connect(ui->SpdBtnMenu, &QToolButton::clicked, this, [this] { SpdBtnMenuClick(); });
    // The server lists hold plain texts; they are refilled whole after every change.
    ui->FltCbxApelidoServidor->setModel(new QStringListModel(ui->FltCbxApelidoServidor));
    ui->CbboxServidor->setModel(new QStringListModel(ui->CbboxServidor));
    // Only a choice the user makes is a change; filling the lists is not.
    connect(ui->FltCbxApelidoServidor, &QComboBox::activated, this,
            [this] { CbxApelidoServidorChange(); });
    connect(ui->CbboxServidor, &QComboBox::activated, this, [this] { CbboxServidorChange(); });
    UrlMeuIP = Configuracao::UrlMeuIP();
    // The mark that says the modules would open another database, beside the selector (which
    // gives it room while it shows).
    larguraSeletor_ = ui->FltCbxApelidoServidor->width();
    avisoDbx_ = new QToolButton(ui->PnlBase);
    avisoDbx_->setObjectName(QStringLiteral("SpdBtnAvisoDbx"));
    avisoDbx_->setAutoRaise(true);
    avisoDbx_->setFocusPolicy(Qt::NoFocus);
    avisoDbx_->setIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
    {
        const QRect seletor = ui->FltCbxApelidoServidor->geometry();
        const int lado = seletor.height();
        avisoDbx_->setGeometry(seletor.right() + 1 - lado, seletor.top(), lado, lado);
        avisoDbx_->setIconSize(QSize(lado - 6, lado - 6));
    }
    avisoDbx_->hide();
    connect(avisoDbx_, &QToolButton::clicked, this, [this] { SpdBtnAvisoDbxClick(); });

    // The program's folder: its name as the edition rule reads it, and the path every file of
    // the folder is reached by.
    NomePasta = MaiusculasAscii(CapturaNomePasta(Plataforma::PastaDoCaminho(caminhoExecutavel)));
    PastaPrograma = Plataforma::PastaPrograma(caminhoExecutavel);
    // Every change of the registry shows in the two server lists before the operation returns.
    registro_ = new RegistroEstacao(Instalacao(), this);
    connect(registro_, &RegistroEstacao::Alterado, this,
            [this] { CarregarConexoes(ui->CbboxServidor, ui->FltCbxApelidoServidor, true); });
    FormCreate();

    if (const QScreen* tela = screen())
        move(tela->availableGeometry().center() - rect().center());
    // Key preview: the window sees every key before the focused control does.
    qApp->installEventFilter(this);
}

TFrmPrincipal::~TFrmPrincipal() {
    qApp->removeEventFilter(this);
    delete ui;
    if (FrmPrincipal == this)
        FrmPrincipal = nullptr;
}

DadosInstalacao TFrmPrincipal::Instalacao() const {
    return {PastaPrograma, NomePasta, EdicaoDaPasta(NomePasta)};
}

void TFrmPrincipal::FormCreate() {
    TituloMensagem = QStringLiteral("Gerenciador");
    DefineAltura(kAlturaInicial);
    TopoBotao = -33;

    struct Linha {
        QPushButton* botao;
        const char* executavel;
    };
    // VELTO.INI is read once for the whole creation, when the first installed module asks.
    std::optional<ArquivoIni> velto;
    const auto configura = [this, &velto](QPushButton* botao) {
        if (!velto)
            velto.emplace(PastaPrograma + QStringLiteral("VELTO.INI"));
        ConfiguraBotao(botao, &*velto);
    };
    switch (EdicaoDaPasta(NomePasta)) {
    case Edicao::Empresa: {
        const Linha linhas[] = {
            {ui->FltBtnAdministracao, "VELTOM01.EXE"},
            {ui->FltBtnFinanceiro, "VELTOM02.EXE"},
            {ui->FltBtnEstoque, "VELTOM03.EXE"},
            {ui->FltBtnCaixa, "VELTOM04.EXE"},
            {ui->FltBtnSAC, "VELTOM05.EXE"},
            {ui->FltBtnServico, "VELTOM06.EXE"},
            {ui->FltBtnCentroAutomotivo, "VELTOM07.EXE"},
            {ui->FltBtnAgronegocios, "VELTOM08.EXE"},
            {ui->FltBtnProducaoAnimal, "VELTOM09.EXE"},
            {ui->FltBtnVoltaAsAulas, "VELTOM10.EXE"},
            {ui->FltBtnNFEletronica, "VELTOM11.EXE"},
            {ui->FltBtnVendas, "VELTOM12.EXE"},
        };
        for (const Linha& l : linhas)
            if (QFileInfo(PastaPrograma + QLatin1String(l.executavel)).isFile())
                configura(l.botao);
        break;
    }
    case Edicao::Cartorio: {
        // The first three share the company's buttons and take this edition's executables.
        const Linha linhas[] = {
            {ui->FltBtnAdministracao, "VELTOM13.EXE"}, {ui->FltBtnFinanceiro, "VELTOM21.EXE"},
            {ui->FltBtnCaixa, "VELTOM22.EXE"},         {ui->FltBtnNascimento, "VELTOM14.EXE"},
            {ui->FltBtnCasamento, "VELTOM15.EXE"},     {ui->FltBtnObito, "VELTOM16.EXE"},
            {ui->FltBtnFirma, "VELTOM17.EXE"},         {ui->FltBtnTabelionato, "VELTOM18.EXE"},
            {ui->FltBtnTitulos, "VELTOM19.EXE"},       {ui->FltBtnLivroE, "VELTOM20.EXE"},
        };
        for (qsizetype i = 0; i < qsizetype(std::size(linhas)); ++i) {
            const Linha& l = linhas[i];
            if (!QFileInfo(PastaPrograma + QLatin1String(l.executavel)).isFile())
                continue;
            if (i < 3)
                DefineHint(l.botao, QLatin1String(l.executavel));
            configura(l.botao);
        }
        break;
    }
    case Edicao::Nenhuma:
        break;
    }
}

void TFrmPrincipal::ConfiguraBotao(QPushButton* botao, const ArquivoIni* velto) {
    std::optional<ArquivoIni> proprio;
    if (!velto)
        velto = &proprio.emplace(PastaPrograma + QStringLiteral("VELTO.INI"));
    // Only "Sim", exactly, shows the button; a missing file, section or key reads "Sim".
    if (velto->LeTexto(QStringLiteral("BOTÕES"), Hint(botao), QStringLiteral("Sim")) !=
        QLatin1String("Sim"))
        return;
    TopoBotao += kPasso;
    botao->setEnabled(true);
    botao->show();
    botao->move(kEsquerdaBotao, TopoBotao);
    DefineAltura(height() + kPasso);
}

QString TFrmPrincipal::CapturaNomePasta(const QString& caminho) const {
    return Plataforma::UltimoComponente(caminho);
}

void TFrmPrincipal::FltBtnClick(QAbstractButton* botao) {
    const CursorEspera espera;
    const QString executavel = Hint(botao);
    // The launcher steps aside for the module and stays minimised; it does not wait for it.
    for (QWidget* janela : QApplication::topLevelWidgets())
        if (janela->isVisible() && janela->windowType() == Qt::Window)
            janela->showMinimized();
    // A module that fails to start is not reported.
    Plataforma::IniciaPrograma(PastaPrograma + executavel);
}

bool TFrmPrincipal::FormKeyDown(int tecla, Qt::KeyboardModifiers) {
    if (tecla != Qt::Key_Escape)
        return false;
    close();
    return true;
}

void TFrmPrincipal::SpdBtnMenuClick() {
    // The panel moves itself to (EsquerdaMenu, TopoMenu) when shown and is freed once its
    // modal run ends (it deletes itself on close).
    const QPointer<TFrmMenu> painel = new TFrmMenu(Instalacao(), this, this);
    PosicaoFormMenu();
    painel->exec();
}

void TFrmPrincipal::PosicaoFormMenu() {
    TopoMenu = y() + 30;
    EsquerdaMenu = x() + kLargura + 5;
}

void TFrmPrincipal::FormShow() {
    // The lookup's thread starts once the window is on the screen: loading the HTTP library
    // on it must not compete with the window's first paint.
    if (!buscaIPPendente_) {
        buscaIPPendente_ = true;
        QTimer::singleShot(kEsperaPintura, this, [this] { IniciaBuscaPendente(); });
    }
    ui->LblVersao->setText(QStringLiteral("Versão ") + GetBuildInfo());
    CarregarConexoes(ui->CbboxServidor, ui->FltCbxApelidoServidor, true);
}

void TFrmPrincipal::CarregarConexoes(QComboBox* espelho, QComboBox* alvo, bool selecionaAtivo) {
    const RegistroConexoes::ListaConexoes lista = registro_->Carrega(selecionaAtivo);
    // The lists come sorted; the combo boxes keep the order they are given.
    PoeItens(alvo, lista.apelidos, lista.selecionado);
    PoeItens(espelho, lista.espelho, lista.selecionadoEspelho);
    if (alvo == ui->FltCbxApelidoServidor && selecionaAtivo) {
        apelidoEmUso_ = lista.ativa ? lista.apelidos[lista.selecionado] : QString();
        conexaoEmUso_ = lista.ativa;
        ConfereServidorEmUso();
    }
}

void TFrmPrincipal::ConfereServidorEmUso() {
    conferencia_ = registro_->ConfereDbx(conexaoEmUso_);
    const QString texto = RegistroConexoes::DescreveConferencia(conferencia_, apelidoEmUso_);
    avisoDbx_->setToolTip(texto);
    avisoDbx_->setVisible(!texto.isEmpty());
    ui->FltCbxApelidoServidor->resize(texto.isEmpty() ? larguraSeletor_
                                                      : larguraSeletor_ - avisoDbx_->width() - 2,
                                      ui->FltCbxApelidoServidor->height());
}

void TFrmPrincipal::SpdBtnAvisoDbxClick() {
    using S = RegistroConexoes::ConferenciaDbx::Situacao;
    if (conferencia_.situacao == S::Concorda)
        return;
    const QString titulo = QString::fromUtf16(RegistroConexoes::kTituloMensagem);
    const QString outro = conferencia_.outro;
    RespostaMensagem r = RespostaMensagem::Cancelar;
    if (!apelidoEmUso_.isEmpty())
        r = MostraMensagem(QStringLiteral("Gravar no DBXCONNECTIONS.INI o servidor em uso (%1)?")
                               .arg(apelidoEmUso_),
                           titulo, IconeMensagem::Informacao, BotoesMensagem::OkCancelar,
                           outro.isEmpty() ? QString() : QStringLiteral("Usar ") + outro);
    else if (!outro.isEmpty())
        r = MostraMensagem(QStringLiteral("Usar %1 como servidor em uso?").arg(outro), titulo,
                           IconeMensagem::Informacao,
                           BotoesMensagem::OkCancelar) == RespostaMensagem::Ok
                ? RespostaMensagem::Extra
                : RespostaMensagem::Cancelar;
    else
        MostraMensagem(RegistroConexoes::DescreveConferencia(conferencia_, apelidoEmUso_), titulo,
                       IconeMensagem::Informacao);
    int indice = -1;
    if (r == RespostaMensagem::Ok)
        indice = ui->FltCbxApelidoServidor->currentIndex();
    else if (r == RespostaMensagem::Extra)
        indice = int(Itens(ui->FltCbxApelidoServidor).indexOf(outro));
    if (indice < 0)
        return;
    // As a choice in the selector: the entry selected, then the switch with its messages.
    ui->FltCbxApelidoServidor->setCurrentIndex(indice);
    ui->CbboxServidor->setCurrentIndex(indice);
    TrocaServidor(true);
}

void TFrmPrincipal::CarregarConexoes(QComboBox* alvo, bool selecionaAtivo) {
    CarregarConexoes(ui->CbboxServidor, alvo, selecionaAtivo);
}

void TFrmPrincipal::IncluiConexao(const QString& apelido, const QString& servidor,
                                  const QString& tipo, const QString& aplicacao,
                                  const QString& status) {
    registro_->Inclui(apelido, servidor, tipo, aplicacao, status);
}

void TFrmPrincipal::AlteraConexao(const QString& apelidoAnterior, const QString& apelido,
                                  const QString& servidor, const QString& tipo,
                                  const QString& aplicacao, const QString& status) {
    registro_->Altera(apelidoAnterior, apelido, servidor, tipo, aplicacao, status);
}

void TFrmPrincipal::ExcluiConexao(const QString& apelido, bool anuncia) {
    registro_->Exclui(apelido, anuncia);
}

quint16 TFrmPrincipal::ConexaoExiste(const QString& servidor, const QString& apelido) {
    bool encerrar = false;
    const quint16 r = registro_->ConexaoExiste(servidor, apelido, &encerrar);
    if (encerrar)
        QCoreApplication::quit();
    return r;
}

QString TFrmPrincipal::ApelidoServidor(const QString& servidor) {
    bool encerrar = false;
    QString r = registro_->ApelidoServidor(servidor, &encerrar);
    if (encerrar)
        QCoreApplication::quit();
    return r;
}

bool TFrmPrincipal::MudaConexaoAtiva(const QString& apelido) {
    // The lists are reloaded on the registry's word.
    if (!registro_->MarcaAtiva(apelido, Itens(ui->CbboxServidor)))
        return false;
    // The alias as the file spells it, now selected.
    AlteraDBXConnection(ui->FltCbxApelidoServidor->currentText());
    // The lists were reloaded before the dbExpress file was written: look at it again.
    ConfereServidorEmUso();
    return true;
}

void TFrmPrincipal::CbxApelidoServidorChange() {
    if (ui->CbboxServidor->currentIndex() == ui->FltCbxApelidoServidor->currentIndex())
        return;
    ui->CbboxServidor->setCurrentIndex(ui->FltCbxApelidoServidor->currentIndex());
    CbboxServidorChange();
}

void TFrmPrincipal::CbboxServidorChange() {
    // A switch made on another window's behalf (the connection editor) is not announced.
    // Decided before the switch: a box the switch shows (a refused dbExpress write) leaves no
    // window active once it has closed.
    TrocaServidor(QApplication::activeWindow() == this);
}

void TFrmPrincipal::TrocaServidor(bool anuncia) {
    if (MudaConexaoAtiva(ui->CbboxServidor->currentText()) && anuncia)
        MostraMensagem(QStringLiteral("Conexão alterada com sucesso!"), QStringLiteral("VELTO"),
                       IconeMensagem::Exclamacao);
}

void TFrmPrincipal::AlteraDBXConnection(const QString& apelido) {
    registro_->AlteraDBXConnection(apelido);
}

void TFrmPrincipal::GetIP(const QString& nomeComputador, QObject* contexto,
                          std::function<void()> resolvido,
                          std::function<void(const QString&)> pronto) {
    GetIPAssincrono(nomeComputador, contexto, std::move(resolvido), std::move(pronto));
}

bool TFrmPrincipal::ValidaIP(const QString& texto) {
    return ::ValidaIP(texto);
}

QString TFrmPrincipal::GetBuildInfo() {
    return VersaoPrincipalDoArquivo(Plataforma::CaminhoExecutavel());
}

void TFrmPrincipal::showEvent(QShowEvent* evento) {
    QWidget::showEvent(evento);
    // The window system's own show events (a restore from the task bar) are not a showing.
    if (!evento->spontaneous())
        FormShow();
}

void TFrmPrincipal::changeEvent(QEvent* evento) {
    QWidget::changeEvent(evento);
    // Back from another program (or a hand edit of the files): look again.
    if (evento->type() == QEvent::ActivationChange && isActiveWindow() && isVisible())
        ConfereServidorEmUso();
}

void TFrmPrincipal::paintEvent(QPaintEvent* evento) {
    QWidget::paintEvent(evento);
    if (buscaIPPendente_)
        QMetaObject::invokeMethod(
            this, [this] { IniciaBuscaPendente(); }, Qt::QueuedConnection);
}

void TFrmPrincipal::IniciaBuscaPendente() {
    if (!buscaIPPendente_)
        return;
    buscaIPPendente_ = false;
    IniciaBuscaMeuIP(ui->lblIP, UrlMeuIP);
}

bool TFrmPrincipal::eventFilter(QObject* objeto, QEvent* evento) {
    // Two visible module buttons with one Alt letter (Ser&viço and &Vendas...): the keystroke
    // clicks the first of them in the table's order, the one stacked higher, instead of only
    // moving the focus between them.
    if (evento->type() == QEvent::Shortcut && objeto->parent() == ui->PnlBotoes) {
        const auto* atalho = static_cast<QShortcutEvent*>(evento);
        if (atalho->isAmbiguous()) {
            QPushButton* primeiro = nullptr;
            for (QPushButton* b :
                 ui->PnlBotoes->findChildren<QPushButton*>(Qt::FindDirectChildrenOnly))
                if (b->isVisible() && b->isEnabled() &&
                    QKeySequence::mnemonic(b->text()) == atalho->key() &&
                    (!primeiro || b->y() < primeiro->y()))
                    primeiro = b;
            if (primeiro) {
                primeiro->setFocus(Qt::ShortcutFocusReason);
                primeiro->animateClick();
                return true;
            }
        }
    }
    // Every key meant for a control of this window passes here before the control sees it.
    // A key the window does not take travels on, and up to the control's parents.
    if (evento->type() == QEvent::KeyPress && objeto->isWidgetType() &&
        static_cast<QWidget*>(objeto)->window() == this) {
        const auto* tecla = static_cast<QKeyEvent*>(evento);
        if (FormKeyDown(tecla->key(), tecla->modifiers()))
            return true;
    }
    return QWidget::eventFilter(objeto, evento);
}

void TFrmPrincipal::DefineAltura(int altura) {
    setFixedSize(kLargura, altura);
}

QComboBox* TFrmPrincipal::FltCbxApelidoServidor() const {
    return ui->FltCbxApelidoServidor;
}
QComboBox* TFrmPrincipal::CbboxServidor() const {
    return ui->CbboxServidor;
}
QLabel* TFrmPrincipal::LblIP() const {
    return ui->lblIP;
}

int TFrmPrincipal::QuantidadeConexoes() const {
    return ui->CbboxServidor->count();
}
QString TFrmPrincipal::ApelidoEmUso() const {
    return ui->FltCbxApelidoServidor->currentText();
}
int TFrmPrincipal::IndiceEmUso() const {
    return ui->FltCbxApelidoServidor->currentIndex();
}
void TFrmPrincipal::SelecionaEmUso(int indice) {
    ui->FltCbxApelidoServidor->setCurrentIndex(indice);
}

QString TFrmPrincipal::Hint(const QObject* botao) {
    return botao->property("hint").toString();
}

void TFrmPrincipal::DefineHint(QObject* botao, const QString& hint) {
    botao->setProperty("hint", hint);
}
