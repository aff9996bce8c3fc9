#include "menu/Botoes.h"

#include "common/ArquivoIni.h"
#include "common/Mensagem.h"
#include "common/Tipografia.h"
#include "menu/Glifos.h"
#include "ui_Botoes.h"

#include <QCheckBox>
#include <QDir>
#include <QKeyEvent>
#include <QTabBar>
#include <stdexcept>

TFrmConfigBotoes* FrmConfigBotoes = nullptr;

namespace {

const QString& Secao() {
    static const QString secao = QStringLiteral("BOTÕES");
    return secao;
}

} // namespace

QString HintCaixa(const QCheckBox* caixa) {
    return caixa->property("hint").toString();
}

TFrmConfigBotoes::TFrmConfigBotoes(QWidget* dono, QString caminhoVelto)
    : QDialog(dono), ui(new Ui::TFrmConfigBotoes), caminhoVelto_(std::move(caminhoVelto)) {
    ui->setupUi(this);
    // A fixed frame with the close box; no help button, no resizing.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(167, 312);
    AplicaTipografia(this);
    ui->PgCntrlSistema->tabBar()->hide();
    ui->BtBtnFechar->setIcon(IconeGlifo(Glifo::Fechar));
    connect(ui->BtBtnFechar, &QPushButton::clicked, this, [this] { BtBtnFecharClick(); });
    for (QCheckBox* caixa : Caixas()) {
        // A click of the user is written at once; a refused write goes to the general
        // error display and the box keeps its new state.
        connect(caixa, &QCheckBox::toggled, this, [this, caixa] {
            if (carregando_)
                return;
            try {
                ChkBxModuloClick(caixa);
            } catch (const std::exception& e) {
                ExibeErroGeral(QString::fromUtf8(e.what()));
            }
        });
    }
    FrmConfigBotoes = this;
    FormCreate();
}

TFrmConfigBotoes::~TFrmConfigBotoes() {
    delete ui;
    if (FrmConfigBotoes == this)
        FrmConfigBotoes = nullptr;
}

QList<QCheckBox*> TFrmConfigBotoes::Caixas() const {
    // findChildren keeps the order in which the form made them, page by page.
    return ui->TbShtEmpresa->findChildren<QCheckBox*>() +
           ui->TbShtCartorio->findChildren<QCheckBox*>();
}

void TFrmConfigBotoes::EscolhePagina(const QString& nomePasta) {
    ui->PgCntrlSistema->setCurrentWidget(nomePasta == QLatin1String("EMPRESA") ? ui->TbShtEmpresa
                                                                               : ui->TbShtCartorio);
}

void TFrmConfigBotoes::FormCreate() {
    // A write refused while loading ends the loading at that box; the dialog opens all the
    // same and shows the boxes as far as they were loaded.
    try {
        CarregarBotoes();
    } catch (const std::exception& e) {
        ExibeErroGeral(QString::fromUtf8(e.what()));
    }
}

void TFrmConfigBotoes::CarregarBotoes() {
    const ArquivoIni velto(caminhoVelto_);
    for (QCheckBox* caixa : Caixas()) {
        const bool marcado =
            velto.LeTexto(Secao(), HintCaixa(caixa), QStringLiteral("Sim")) == QLatin1String("Sim");
        if (marcado == caixa->isChecked())
            continue;
        // As a click would: the box changes, then its state is written.
        carregando_ = true;
        caixa->setChecked(marcado);
        carregando_ = false;
        ChkBxModuloClick(caixa);
    }
}

void TFrmConfigBotoes::ChkBxModuloClick(QCheckBox* caixa) {
    // The file as it is now: the suite's other programs write it too, so a copy read when the
    // dialog opened could undo their changes.
    ArquivoIni velto(caminhoVelto_);
    velto.GravaTexto(Secao(), HintCaixa(caixa),
                     caixa->isChecked() ? QStringLiteral("Sim") : QStringLiteral("Não"));
    if (!velto.Grava())
        throw std::runtime_error(
            (QStringLiteral("Unable to write to ") + QDir::toNativeSeparators(caminhoVelto_))
                .toStdString());
}

void TFrmConfigBotoes::BtBtnFecharClick() {
    close();
}

void TFrmConfigBotoes::keyPressEvent(QKeyEvent* evento) {
    // No key handling of its own: Escape does not close the dialog, and Return or Enter on a
    // box does not press "Fechar" (a focused "Fechar" still takes them itself).
    switch (evento->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        evento->accept();
        return;
    default:
        QDialog::keyPressEvent(evento);
    }
}
