#include "conexoes/Conexoes.h"

#include "common/ArquivoIni.h"
#include "common/ClienteFirebird.h"
#include "common/Mensagem.h"
#include "common/Texto.h"
#include "common/Tipografia.h"
#include "conexoes/NavegadorRede.h"
#include "conexoes/OperacoesPrincipal.h"
#include "conexoes/ProtocoloFirebird.h"
#include "conexoes/SondaServidores.h"
#include "registro/Enderecos.h"
#include "registro/RegistroConexoes.h"
#include "ui_Conexoes.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QStyle>
#include <QTimer>
#include <QValidator>

TFrmConexoes* FrmConexoes = nullptr;

namespace {

constexpr int kLargura = 305;
constexpr int kAlturaMinima = 438;
const QString kTitulo = QStringLiteral("Gerenciador VELTO");
const QString kAmbienteRede = QStringLiteral("Ambiente de rede");
const QString kTodaRede = QStringLiteral("Toda a rede");
const QString kPrefixoLocal = QStringLiteral("LOCAL - ");

constexpr int kLocal = 0;
constexpr int kRemota = 1;
constexpr int kLinux = 0;
constexpr int kWindows = 1;

// A machine whose Firebird port answered: a database drum; with a check, one that holds the
// edition's database.
QIcon DesenhaBanco(bool encontrado) {
    QIcon r;
    for (const int lado : {16, 32}) {
        QPixmap figura(lado, lado);
        figura.fill(Qt::transparent);
        QPainter p(&figura);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(lado / 16.0, lado / 16.0);
        p.setPen(QPen(QColor(0x1F, 0x3F, 0x6E), 1));
        p.setBrush(QColor(0x5B, 0x8F, 0xD6));
        // Three stacked discs seen from the side, the top one open.
        for (const double y : {10.0, 6.5, 3.0}) {
            p.drawRect(QRectF(2.5, y, 11, 3.5));
            p.drawEllipse(QRectF(2.5, y + 1.75, 11, 3.5));
        }
        p.setBrush(QColor(0xA9, 0xC8, 0xF0));
        p.drawEllipse(QRectF(2.5, 1.25, 11, 3.5));
        if (encontrado) {
            p.setPen(QPen(Qt::white, 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            const QPointF marca[] = {{7.5, 11.0}, {10.0, 13.5}, {15.0, 7.5}};
            p.drawPolyline(marca, 3);
            p.setPen(
                QPen(QColor(0x1E, 0x8C, 0x2E), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.drawPolyline(marca, 3);
        }
        r.addPixmap(figura);
    }
    return r;
}

QIcon IconeBanco() {
    static const QIcon icone = DesenhaBanco(false);
    return icone;
}

QIcon IconeBancoEncontrado() {
    static const QIcon icone = DesenhaBanco(true);
    return icone;
}

// What is typed into the form's edits is upper-cased (ASCII letters only) as it is typed.
class ValidadorMaiusculas : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& texto, int&) const override {
        texto = MaiusculasAscii(texto);
        return Acceptable;
    }
};

void Aviso(const QString& texto) {
    MostraMensagem(texto, kTitulo, IconeMensagem::Aviso);
}

} // namespace

QString ServidorLocal(const QString& pastaPrograma) {
#ifdef Q_OS_WIN
    return pastaPrograma.left(1);
#else
    Q_UNUSED(pastaPrograma);
    return QStringLiteral("LOCALHOST");
#endif
}

QString TipoServidorLocal() {
#ifdef Q_OS_WIN
    return QStringLiteral("Windows");
#else
    return QStringLiteral("Linux");
#endif
}

TFrmConexoes::TFrmConexoes(DadosInstalacao instalacao, OperacoesPrincipal* principal, QWidget* dono,
                           NavegadorRede* navegador)
    : QDialog(dono), ui(std::make_unique<Ui::TFrmConexoes>()), instalacao_(std::move(instalacao)),
      principal_(principal), navegador_(navegador) {
    ui->setupUi(this);
    AplicaTipografia(this);
    FrmConexoes = this;
    // Fixed single border and no title-bar buttons at all.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint);

    conexao_ = new QButtonGroup(this);
    conexao_->addButton(ui->RdBtnLocal, kLocal);
    conexao_->addButton(ui->RdBtnRemota, kRemota);
    tipo_ = new QButtonGroup(this);
    tipo_->addButton(ui->RdBtnLinux, kLinux);
    tipo_->addButton(ui->RdBtnWindows, kWindows);
    connect(conexao_, &QButtonGroup::idClicked, this, [this] { RdGrpConexaoClick(); });

    for (QLineEdit* edit : {ui->EdtServBanco, ui->EdtApelido, ui->DirEdtAplicacao})
        edit->setValidator(new ValidadorMaiusculas(edit));
    QAction* pasta = ui->DirEdtAplicacao->addAction(style()->standardIcon(QStyle::SP_DirOpenIcon),
                                                    QLineEdit::TrailingPosition);
    pasta->setObjectName(QStringLiteral("AcaoPastaAplicacao"));
    connect(pasta, &QAction::triggered, this, [this] { EscolheAplicacao(); });

    connect(ui->BitBtnGravar, &QPushButton::clicked, this, [this] { BitBtnGravarClick(); });
    connect(ui->BitBtnCancelar, &QPushButton::clicked, this, [this] { BitBtnCancelarClick(); });
    connect(ui->BitBtnCapturar, &QPushButton::clicked, this, [this] { BitBtnCapturarClick(); });
    connect(ui->BtnProcurarBanco, &QPushButton::clicked, this, [this] { BtnProcurarBancoClick(); });
    connect(ui->BitBtnExcluir, &QPushButton::clicked, this, [this] { BitBtnExcluirClick(); });
    connect(ui->BitBtnVoltar, &QPushButton::clicked, this, [this] { BitBtnVoltarClick(); });
    connect(ui->BtnEscolher, &QPushButton::clicked, this, [this] { BtnEscolherClick(); });
    connect(ui->BtnCancelaEdicao, &QPushButton::clicked, this, [this] { BitBtnCancelarClick(); });
    // Only a choice the user makes is a change; filling the list is not.
    connect(ui->FltCbboxEdicao, &QComboBox::activated, this, [this] { CbboxEdicaoChange(); });
    for (QPushButton* botao : findChildren<QPushButton*>())
        botao->setAutoDefault(false);

    // The network: root, whole network, then workgroups and domains with their machines.
    ambienteRede_ = new QTreeWidgetItem(ui->ShTVRede, {kAmbienteRede});
    ambienteRede_->setIcon(0, style()->standardIcon(QStyle::SP_DriveNetIcon));
    todaRede_ = new QTreeWidgetItem(ambienteRede_, {kTodaRede});
    todaRede_->setIcon(0, style()->standardIcon(QStyle::SP_DriveNetIcon));
    ui->ShTVRede->sortByColumn(0, Qt::AscendingOrder);
    ui->ShTVRede->expandAll();
    popupRede_ = new QMenu(this);
    popupRede_->setObjectName(QStringLiteral("PopupRede"));
    QAction* selecionar = popupRede_->addAction(QStringLiteral("Selecionar"));
    selecionar->setObjectName(QStringLiteral("Selecionar"));
    connect(selecionar, &QAction::triggered, this, [this] { BitBtnCapturarClick(); });
    usarServidor_ = popupRede_->addAction(QStringLiteral("Usar este servidor"));
    usarServidor_->setObjectName(QStringLiteral("UsarServidor"));
    connect(usarServidor_, &QAction::triggered, this,
            [this] { UsaServidor(ui->ShTVRede->currentItem()); });
    connect(ui->ShTVRede, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* no) { UsaServidor(no); });
    connect(ui->ShTVRede, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { ShTVRedeContextPopup(p); });
    // A node kept only because it was selected goes once the user picks another.
    connect(ui->ShTVRede, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem*, QTreeWidgetItem* anterior) {
                if (anterior && anterior->isDisabled())
                    QTimer::singleShot(0, this, [this] { RetiraAusentes(); });
            });

    if (!navegador_)
        navegador_ = CriaNavegadorRede().release();
    navegador_->setParent(this);
    connect(navegador_, &NavegadorRede::MaquinaAdicionada, this, &TFrmConexoes::AdicionaMaquina);
    connect(navegador_, &NavegadorRede::MaquinaRemovida, this, &TFrmConexoes::RemoveMaquina);
    connect(navegador_, &NavegadorRede::ServidorFirebird, this,
            [this](const QString& grupo, const QString& nome) { MarcaMaquina(grupo, nome); });
    for (const NavegadorRede::Maquina& m : navegador_->Maquinas())
        AdicionaMaquina(m.grupo, m.nome);

    FormCreate();
    // Key preview: the form sees every key before the focused control does.
    qApp->installEventFilter(this);
}

TFrmConexoes::~TFrmConexoes() {
    EsperaResolucao(false);
    qApp->removeEventFilter(this);
    if (FrmConexoes == this)
        FrmConexoes = nullptr;
}

void TFrmConexoes::FormCreate() {
    const QWidget* janela = principal_ ? principal_->Janela() : nullptr;
    const int alturaPrincipal = janela ? janela->height() : 0;
    const int altura = alturaPrincipal > kAlturaMinima ? alturaPrincipal : kAlturaMinima;
    setFixedSize(kLargura, altura);
    ui->PgCtrlConexoes->resize(kLargura, altura);
    const int desce = (altura - kAlturaMinima) / 2;
    for (QWidget* painel :
         {static_cast<QWidget*>(ui->PnlCentralInc), static_cast<QWidget*>(ui->PnlCentralExc)})
        painel->move(painel->x(), painel->y() + desce);
    pastaAplicacao_ = instalacao_.PastaPrograma;
    // Centred on the main window.
    if (janela)
        move(janela->frameGeometry().center() - rect().center());
}

void TFrmConexoes::FormShow() {
    PodeFechar = false;
    ModoAlteracao = false;
    if (Tag == 0) {
        ui->PgCtrlConexoes->setCurrentWidget(ui->TbShtIncluir);
        setWindowTitle(QStringLiteral("VELTO - Incluir Conexão"));
        RdGrpConexaoClick();
        navegador_->Inicia();
    } else if (Tag == 1) {
        principal_->CarregarConexoes(ui->FltCbboxExclusao, false);
        ui->BtnProcurarBanco->hide();
        ui->LblProcura->hide();
        ui->PgCtrlConexoes->setCurrentWidget(ui->TbShtExcluir);
        setWindowTitle(QStringLiteral("VELTO - Excluir Conexão"));
    } else {
        ModoAlteracao = true;
        ui->PgCtrlConexoes->setCurrentWidget(ui->TbShtIncluir);
        setWindowTitle(QStringLiteral("VELTO - Alterar Conexão"));
        ui->LblTitulo->setText(QStringLiteral("Alterar Conexão"));
        ui->PgCtrlConexoes->hide();
        ui->PnlEscolherConexao->move(12, 134);
        ui->PnlEscolherConexao->show();
        ui->BtnProcurarBanco->hide(); // the search sets up a new server
        ui->LblProcura->hide();
        principal_->CarregarConexoes(ui->FltCbboxEdicao, false);
        CbboxEdicaoChange();
        navegador_->Inicia();
    }
}

bool TFrmConexoes::Local() const {
    return conexao_->checkedId() == kLocal;
}

void TFrmConexoes::SelecionaTipo(int item) {
    tipo_->button(item)->setChecked(true);
}

void TFrmConexoes::RdGrpConexaoClick() {
    if (!Local()) {
        ui->RdGrpTipo->setEnabled(true);
        ui->EdtServBanco->setMaxLength(32767);
        if (ModoAlteracao) {
            ui->EdtServBanco->setText(ServidorAnterior);
        } else {
            SelecionaTipo(kWindows);
            ui->EdtServBanco->clear();
        }
        ui->BitBtnCapturar->setEnabled(true);
        ui->ChkBxIPBanco->setEnabled(true);
        ui->ChkBxIPBanco->setChecked(false);
        ui->ShTVRede->setEnabled(true);
    } else {
        ui->RdGrpTipo->setEnabled(false);
        SelecionaTipo(TipoServidorLocal() == QLatin1String("Linux") ? kLinux : kWindows);
        const QString servidor = ServidorLocal(instalacao_.PastaPrograma);
        ui->EdtServBanco->setMaxLength(int(qMax<qsizetype>(1, servidor.size())));
        ui->EdtServBanco->setText(servidor);
        ui->BitBtnCapturar->setEnabled(false);
        ui->ChkBxIPBanco->setEnabled(false);
        ui->ChkBxIPBanco->setChecked(false);
        ui->EdtApelido->setText(kPrefixoLocal + ui->EdtServBanco->text());
        ui->ShTVRede->setEnabled(false);
    }
    MostraProcura();
}

void TFrmConexoes::EdtServBancoExit() {
    if (Apara(ui->EdtApelido->text()).isEmpty())
        ui->EdtApelido->setText(ui->EdtServBanco->text());
    else if (Local())
        ui->EdtApelido->setText(kPrefixoLocal + ui->EdtServBanco->text());
}

void TFrmConexoes::BitBtnCapturarClick() {
    const QTreeWidgetItem* no = ui->ShTVRede->currentItem();
    // A machine that left the network is still shown where the user picked it: it is not
    // captured.
    if (!no || no->isDisabled())
        return;
    const QString texto = Apara(no->text(0));
    if (texto.startsWith(kAmbienteRede) || texto.startsWith(kTodaRede))
        return;
    if (!ui->ChkBxIPBanco->isChecked()) {
        ui->EdtServBanco->setText(texto);
        return;
    }
    // Where the tree saw the machine, when it did: no name lookup (an mDNS or WS-Discovery
    // machine needs none).
    const QHostAddress conhecido = navegador_->EnderecoConhecido(texto);
    if (!conhecido.isNull()) {
        ui->EdtServBanco->setText(conhecido.toString());
        return;
    }
    // The name server may take its time: the lookup runs off the interface thread while the
    // form takes no input and shows the wait cursor.
    EsperaResolucao(true);
    principal_->GetIP(
        texto, this, [this] { EsperaResolucao(false); },
        [this](const QString& ip) { ui->EdtServBanco->setText(ip); });
}

void TFrmConexoes::EsperaResolucao(bool esperando) {
    if (esperando == resolvendo_)
        return;
    resolvendo_ = esperando;
    setEnabled(!esperando);
    if (esperando)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void TFrmConexoes::CbboxEdicaoChange() {
    ApelidoAnterior = ui->FltCbboxEdicao->currentText();
    const std::optional<RegistroConexoes::Conexao> c =
        RegistroConexoes::LeConexao(instalacao_.PastaPrograma, ApelidoAnterior);
    if (!c) {
        MostraMensagem(QStringLiteral("Não foi possível abrir o arquivo de conexões!"), kTitulo,
                       IconeMensagem::Erro);
        // The program ends, and this form lets it.
        PodeFechar = true;
        QCoreApplication::quit();
        return;
    }
    ServidorAnterior = c->servidor;
    TipoAnterior = c->tipo;
    AplicacaoAnterior = c->aplicacao;
}

void TFrmConexoes::BtnEscolherClick() {
    if (ui->FltCbboxEdicao->currentIndex() < 0) {
        Aviso(QStringLiteral("Selecione um servidor para se alterado!"));
        return;
    }
    if (ServidorAnterior == ServidorLocal(instalacao_.PastaPrograma)) {
        ui->RdBtnLocal->setChecked(true);
        SelecionaTipo(TipoServidorLocal() == QLatin1String("Linux") ? kLinux : kWindows);
    } else {
        ui->RdBtnRemota->setChecked(true);
        SelecionaTipo(TipoAnterior == QLatin1String("Windows") ? kWindows : kLinux);
    }
    ui->EdtApelido->setText(ApelidoAnterior);
    ui->EdtServBanco->setText(ServidorAnterior);
    ui->DirEdtAplicacao->setText(AplicacaoAnterior);
    RdGrpConexaoClick();
    if (ValidaIP(ServidorAnterior))
        ui->ChkBxIPBanco->setChecked(true);
    ui->PnlEscolherConexao->hide();
    ui->PgCtrlConexoes->show();
}

void TFrmConexoes::BitBtnGravarClick() {
    // Judged, and stored, as the registry will read them back: " ALFA" is ALFA, so it must not
    // pass the duplicate check beside ALFA and then overwrite it.
    const QString apelido =
        MaiusculasAscii(RegistroConexoes::ApelidoComoGravado(ui->EdtApelido->text()));
    const QString servidor = RegistroConexoes::ServidorComoGravado(ui->EdtServBanco->text());
    const QString aplicacao = ui->DirEdtAplicacao->text();
    QWidget* focoServidor =
        Local() ? static_cast<QWidget*>(ui->RdBtnLocal) : static_cast<QWidget*>(ui->EdtServBanco);
    const auto recusa = [](const QString& texto, QWidget* foco) {
        Aviso(texto);
        foco->setFocus();
    };
    if (apelido.isEmpty())
        return recusa(QStringLiteral("Informe o Apelido do Servidor!"), ui->EdtApelido);
    if (Apara(aplicacao).isEmpty())
        return recusa(QStringLiteral("Informe o Servidor de Aplicação!"), ui->DirEdtAplicacao);
    if (servidor.isEmpty())
        return recusa(QStringLiteral("Informe o nome ou IP da máquina."), ui->EdtServBanco);
    if (ui->ChkBxIPBanco->isChecked() && !ValidaIP(servidor))
        return recusa(QStringLiteral("Endereço IP inválido.    "), ui->EdtServBanco);
    // The file holds Windows-1252 bytes: a character it has no byte for would be stored as
    // '?', and two such aliases would become one section.
    const struct {
        const QString& texto;
        const char* campo;
        QWidget* foco;
    } campos[] = {{apelido, "Apelido do Servidor", ui->EdtApelido},
                  {servidor, "Servidor do Banco", ui->EdtServBanco},
                  {aplicacao, "Servidor da Aplicação", ui->DirEdtAplicacao}};
    for (const auto& c : campos) {
        const QString fora = ForaDoWindows1252(c.texto);
        if (!fora.isEmpty())
            return recusa(QStringLiteral("O campo \"%1\" contém o caractere \"%2\", que o "
                                         "arquivo de conexões não pode guardar.")
                              .arg(QString::fromUtf8(c.campo), fora),
                          c.foco);
    }

    const quint16 r = principal_->ConexaoExiste(servidor, apelido);
    const bool apelidoExiste = r == 2 || r == 3;
    if (!ModoAlteracao) {
        if (apelidoExiste)
            return recusa(QStringLiteral("Já existe uma conexão com este Apelido"), ui->EdtApelido);
        if (r == 1)
            return recusa(QStringLiteral("Já existe uma conexão com este Servidor!"), focoServidor);
    } else {
        // Unchanged means as the field showed the stored value: upper-cased.
        if (apelido != MaiusculasAscii(ApelidoAnterior) && apelidoExiste)
            return recusa(QStringLiteral("Já existe uma conexão com este Apelido!"),
                          ui->EdtApelido);
        if (servidor != ServidorAnterior && (r == 1 || r == 3))
            return recusa(QStringLiteral("Já existe uma conexão para este Servidor!"),
                          focoServidor);
    }

    const QString tipo =
        tipo_->checkedId() == kLinux ? QStringLiteral("Linux") : QStringLiteral("Windows");
    // Altering replaces the old entry in the same write that stores the new one, so a failed
    // write cannot lose the connection.
    if (ModoAlteracao)
        principal_->AlteraConexao(ApelidoAnterior, apelido, servidor, tipo, aplicacao,
                                  QStringLiteral("I"));
    else
        principal_->IncluiConexao(apelido, servidor, tipo, aplicacao, QStringLiteral("I"));
    principal_->MudaConexaoAtiva(apelido);
    PodeFechar = true;
    close();
}

void TFrmConexoes::BitBtnCancelarClick() {
    PodeFechar = true;
    close();
}

void TFrmConexoes::BitBtnVoltarClick() {
    PodeFechar = true;
    close();
}

void TFrmConexoes::BitBtnExcluirClick() {
    QComboBox* lista = ui->FltCbboxExclusao;
    if (Apara(lista->currentText()).isEmpty()) {
        Aviso(QStringLiteral("Escolha um servidor para ser excluído!"));
        lista->setCurrentIndex(-1);
        lista->setFocus();
        return;
    }
    if (lista->count() == 1) {
        Aviso(QStringLiteral("Você precisa ter ao menos um servidor cadastrado!\rNão foi possivel "
                             "excluir o servidor!"));
        BitBtnVoltarClick();
        return;
    }
    const QString apelido = lista->currentText();
    // The connection in use gives way to its neighbour before it goes.
    if (apelido == principal_->ApelidoEmUso())
        principal_->SelecionaEmUso(principal_->IndiceEmUso() +
                                   (lista->currentIndex() == 0 ? 1 : -1));
    principal_->CbxApelidoServidorChange();
    principal_->ExcluiConexao(apelido, true);
    lista->clear();
    principal_->CarregarConexoes(lista, false);
}

void TFrmConexoes::EscolheAplicacao() {
    QFileDialog dialogo(this, QStringLiteral("Selecione uma pasta"), pastaAplicacao_);
    dialogo.setObjectName(QStringLiteral("DlgPastaAplicacao"));
    dialogo.setFileMode(QFileDialog::Directory);
    dialogo.setOption(QFileDialog::ShowDirsOnly);
    if (dialogo.exec() != QDialog::Accepted || dialogo.selectedFiles().isEmpty())
        return;
    ui->DirEdtAplicacao->setText(
        MaiusculasAscii(QDir::toNativeSeparators(dialogo.selectedFiles().constFirst())));
}

void TFrmConexoes::ShTVRedeContextPopup(const QPoint& posicao) {
    QTreeWidgetItem* no = ui->ShTVRede->itemAt(posicao);
    if (!no)
        return;
    ui->ShTVRede->setCurrentItem(no);
    usarServidor_->setVisible(BancoEncontrado(no) != nullptr);
    popupRede_->popup(ui->ShTVRede->viewport()->mapToGlobal(posicao));
}

void TFrmConexoes::AdicionaMaquina(const QString& grupo, const QString& nome) {
    // Groups match without regard to letter case, machines exactly; both found by hash.
    const QString chaveGrupo = grupo.toCaseFolded();
    QTreeWidgetItem*& noGrupo = grupos_[chaveGrupo];
    if (!noGrupo) {
        noGrupo = new QTreeWidgetItem(todaRede_, {grupo});
        noGrupo->setData(0, Qt::UserRole, chaveGrupo);
        noGrupo->setIcon(0, style()->standardIcon(QStyle::SP_DriveNetIcon));
        noGrupo->setExpanded(true);
    } else if (ausentes_.remove(noGrupo)) {
        noGrupo->setDisabled(false);
    }
    const QString chave = chaveGrupo + u'\0' + nome;
    QTreeWidgetItem*& maquina = maquinas_[chave];
    if (maquina) {
        if (ausentes_.remove(maquina)) // back before the user picked another node
            maquina->setDisabled(false);
        return;
    }
    maquina = new QTreeWidgetItem(noGrupo, {nome});
    maquina->setData(0, Qt::UserRole, chave);
    AtualizaMarca(maquina);
}

void TFrmConexoes::MarcaMaquina(const QString& grupo, const QString& nome) {
    if (QTreeWidgetItem* maquina = maquinas_.value(grupo.toCaseFolded() + u'\0' + nome))
        AtualizaMarca(maquina);
    PerguntaMaquina(nome);
}

void TFrmConexoes::AtualizaMarca(QTreeWidgetItem* maquina) {
    const QString nome = maquina->text(0);
    const NavegadorRede::RespostaServidor firebird = navegador_->RespostaFirebird(nome);
    const auto r = resultados_.constFind(nome.toCaseFolded());
    if (r != resultados_.cend() && r->banco.causa == CausaBanco::Conectado) {
        maquina->setIcon(0, IconeBancoEncontrado());
        maquina->setToolTip(
            0, QStringLiteral("Banco de dados %1 encontrado (%2): %3, abriu em %4 ms")
                   .arg(RegistroConexoes::ArquivoBanco(instalacao_.NomePasta), r->tipo,
                        r->banco.versao,
                        r->banco.ms > 0 ? QString::number(r->banco.ms) : QStringLiteral("<1")));
        return;
    }
    if (firebird.ms < 0) {
        maquina->setIcon(0, style()->standardIcon(QStyle::SP_ComputerIcon));
        maquina->setToolTip(0, {});
        return;
    }
    QStringList dica{ProtocoloFirebird::DicaServidor(firebird.protocolo, firebird.ms)};
    // The database is not there for this workstation: why, as the ping form says it.
    if (r != resultados_.cend())
        dica += FormataLinhasBanco(r->banco, {r->database, usuarioBanco_, {}},
                                   RegistroConexoes::SecaoDbx(instalacao_.NomePasta));
    maquina->setIcon(0, IconeBanco());
    maquina->setToolTip(0, dica.join(u'\n'));
}

void TFrmConexoes::BtnProcurarBancoClick() {
    const QString secao = RegistroConexoes::SecaoDbx(instalacao_.NomePasta);
    const ArquivoIni dbx(instalacao_.PastaPrograma +
                         QString::fromUtf16(RegistroConexoes::kArquivoDbx));
    const QString usuario = dbx.LeTexto(secao, QStringLiteral("User_Name"));
    const QString senha = dbx.LeTexto(secao, QStringLiteral("Password"));
    QString motivo;
    const ClienteFirebird* cliente =
        CarregaClienteFirebird(NomeBibliotecaClienteFirebird(), &motivo);
    QString falta;
    if (!dbx.LeituraOk())
        falta = QStringLiteral("Não foi possível ler o DBXCONNECTIONS.INI: a procura precisa do "
                               "usuário e da senha do banco.");
    else if (usuario.isEmpty() || senha.isEmpty())
        falta = QStringLiteral("A seção %1 do DBXCONNECTIONS.INI não tem User_Name e Password: a "
                               "procura precisa deles.")
                    .arg(secao);
    else if (!cliente || !cliente->isc_attach_database)
        falta = QStringLiteral("O cliente Firebird (%1) não está instalado nesta estação: a "
                               "procura precisa dele.")
                    .arg(NomeBibliotecaClienteFirebird());
    if (!falta.isEmpty()) {
        ui->LblProcura->setText(falta);
        return;
    }
    // A new round: what the last one found is forgotten, and every machine asked again.
    delete procura_;
    resultados_.clear();
    usuarioBanco_ = usuario;
    procura_ = new ProcuraBanco(usuario, senha, instalacao_.NomePasta,
                                NomeBibliotecaClienteFirebird(), this);
    connect(procura_, &ProcuraBanco::Respondeu, this, &TFrmConexoes::RespostaProcura);
    connect(procura_, &ProcuraBanco::Andamento, this, &TFrmConexoes::MostraProcura);
    for (QTreeWidgetItem* maquina : std::as_const(maquinas_))
        AtualizaMarca(maquina);
    for (const NavegadorRede::Maquina& m : navegador_->ServidoresFirebird())
        PerguntaMaquina(m.nome);
    MostraProcura();
}

void TFrmConexoes::PerguntaMaquina(const QString& nome) {
    if (!procura_)
        return;
    // Credentials go only to a machine the tree found on this workstation's own networks.
    const NavegadorRede::RespostaServidor firebird = navegador_->RespostaFirebird(nome);
    if (firebird.ms >= 0 &&
        SondaServidores::Aceitavel(firebird.endereco, SondaServidores::RedesLocais()))
        procura_->Pergunta(nome.toCaseFolded(), firebird.endereco);
}

void TFrmConexoes::RespostaProcura(const QString& chave, const ResultadoProcura& resultado) {
    resultados_.insert(chave, resultado);
    for (QTreeWidgetItem* maquina : std::as_const(maquinas_))
        if (maquina->text(0).toCaseFolded() == chave)
            AtualizaMarca(maquina);
}

void TFrmConexoes::MostraProcura() {
    const bool ocupada = procura_ && !procura_->Concluida();
    ui->BtnProcurarBanco->setEnabled(!Local() && !ocupada);
    if (!procura_)
        return;
    const auto servidores = [](int n) {
        return n == 1 ? QStringLiteral("servidor") : QStringLiteral("servidores");
    };
    if (ocupada)
        ui->LblProcura->setText(QStringLiteral("Procurando o banco em %1 de %2 %3...")
                                    .arg(procura_->Perguntados())
                                    .arg(procura_->Total())
                                    .arg(servidores(procura_->Total())));
    else if (procura_->Encontrados() > 0)
        ui->LblProcura->setText(QStringLiteral("Banco encontrado em %1 %2.")
                                    .arg(procura_->Encontrados())
                                    .arg(servidores(procura_->Encontrados())));
    else
        ui->LblProcura->setText(QStringLiteral("Nenhum servidor desta rede tem o banco %1.")
                                    .arg(RegistroConexoes::ArquivoBanco(instalacao_.NomePasta)));
}

const ResultadoProcura* TFrmConexoes::BancoEncontrado(const QTreeWidgetItem* no) const {
    // A machine's node (not a group's), present, whose machine holds the database.
    if (!no || no->isDisabled() || maquinas_.value(no->data(0, Qt::UserRole).toString()) != no)
        return nullptr;
    const auto r = resultados_.constFind(no->text(0).toCaseFolded());
    return r != resultados_.cend() && r->banco.causa == CausaBanco::Conectado ? &*r : nullptr;
}

void TFrmConexoes::UsaServidor(const QTreeWidgetItem* no) {
    const ResultadoProcura* r = BancoEncontrado(no);
    if (!r)
        return;
    if (Local()) {
        ui->RdBtnRemota->setChecked(true);
        RdGrpConexaoClick();
    }
    // The fields upper-case what they are given, as what is typed.
    const QString nome = no->text(0);
    ui->EdtServBanco->setText(ui->ChkBxIPBanco->isChecked() ? InterpretaDatabase(r->database).host
                                                            : nome);
    SelecionaTipo(r->tipo == QLatin1String("Linux") ? kLinux : kWindows);
    const QString apelido = Apara(ui->EdtApelido->text());
    if (apelido.isEmpty() || apelido == kPrefixoLocal + ServidorLocal(instalacao_.PastaPrograma)) {
        // The machine's name, or with a number after it when an entry already has that alias.
        QString proposto = nome;
        for (int n = 2; principal_ && n < 1000 &&
                        (principal_->ConexaoExiste(ui->EdtServBanco->text(), proposto) & 2);
             ++n)
            proposto = nome + u' ' + QString::number(n);
        ui->EdtApelido->setText(proposto);
    }
    if (Apara(ui->DirEdtAplicacao->text()).isEmpty()) {
        const ArquivoIni dbx(instalacao_.PastaPrograma +
                             QString::fromUtf16(RegistroConexoes::kArquivoDbx));
        ui->DirEdtAplicacao->setText(dbx.LeTexto(RegistroConexoes::SecaoDbx(instalacao_.NomePasta),
                                                 QStringLiteral("Servidor Aplicação")));
    }
}

void TFrmConexoes::RemoveMaquina(const QString& grupo, const QString& nome) {
    QTreeWidgetItem* maquina = maquinas_.value(grupo.toCaseFolded() + u'\0' + nome);
    if (!maquina)
        return;
    // The selected node never moves by itself to a neighbour: a machine that leaves stays
    // where it is, greyed, until the user picks another node (and so does a group left
    // empty while selected).
    maquina->setDisabled(true);
    ausentes_.insert(maquina);
    RetiraAusentes();
}

void TFrmConexoes::RetiraAusentes() {
    const QTreeWidgetItem* atual = ui->ShTVRede->currentItem();
    const QList<QTreeWidgetItem*> nos = ausentes_.values();
    for (QTreeWidgetItem* no : nos) {
        if (no == atual || !ausentes_.contains(no))
            continue;
        ausentes_.remove(no);
        QTreeWidgetItem* pai = no->parent();
        if (pai == todaRede_) { // a group
            grupos_.remove(no->data(0, Qt::UserRole).toString());
            delete no;
            continue;
        }
        maquinas_.remove(no->data(0, Qt::UserRole).toString());
        delete no;
        if (pai->childCount() > 0)
            continue;
        if (pai == atual) {
            pai->setDisabled(true);
            ausentes_.insert(pai);
        } else {
            grupos_.remove(pai->data(0, Qt::UserRole).toString());
            delete pai;
        }
    }
}

bool TFrmConexoes::FormKeyDown(int tecla, Qt::KeyboardModifiers) {
    if (tecla != Qt::Key_Escape)
        return false;
    BitBtnCancelarClick();
    return true;
}

void TFrmConexoes::FormClose() {
    if (FrmConexoes == this)
        FrmConexoes = nullptr;
}

void TFrmConexoes::showEvent(QShowEvent* evento) {
    QDialog::showEvent(evento);
    if (!evento->spontaneous())
        FormShow();
}

void TFrmConexoes::closeEvent(QCloseEvent* evento) {
    if (!FormCloseQuery()) {
        evento->ignore();
        return;
    }
    FormClose();
    QDialog::closeEvent(evento);
}

void TFrmConexoes::done(int resultado) {
    if (!FormCloseQuery())
        return;
    QDialog::done(resultado);
}

bool TFrmConexoes::eventFilter(QObject* objeto, QEvent* evento) {
    if (objeto == ui->EdtServBanco && evento->type() == QEvent::FocusOut) {
        // Leaving the field for another control of the form, not the form losing the focus.
        const Qt::FocusReason razao = static_cast<QFocusEvent*>(evento)->reason();
        if (razao != Qt::ActiveWindowFocusReason && razao != Qt::PopupFocusReason)
            EdtServBancoExit();
    }
    if (evento->type() == QEvent::KeyPress && objeto->isWidgetType() &&
        static_cast<QWidget*>(objeto)->window() == this) {
        const auto* tecla = static_cast<QKeyEvent*>(evento);
        if (FormKeyDown(tecla->key(), tecla->modifiers()))
            return true;
    }
    return QDialog::eventFilter(objeto, evento);
}
