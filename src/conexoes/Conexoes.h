#pragma once

#include "common/Edicao.h"
#include "conexoes/ProcuraBanco.h"

#include <QDialog>
#include <QHash>
#include <QSet>
#include <QString>
#include <memory>

class NavegadorRede;
class OperacoesPrincipal;
class QButtonGroup;
class QMenu;
class QAction;
class QTreeWidgetItem;

namespace Ui {
class TFrmConexoes;
}

// The connection editor: adds a database server to the registry (Tag 0), removes one (Tag 1)
// or changes one (any other Tag). It validates what the user typed and calls the main
// window's registry operations (OperacoesPrincipal); it holds no registry logic of its own. It
// can close only through its own buttons, Escape or a successful save.
class TFrmConexoes : public QDialog {
    Q_OBJECT
public:
    // `instalacao` and `principal`: the program's folder and the main window's side (needed by
    // every mode but include). `navegador` fills the network tree (the form takes it); none:
    // the platform's own.
    explicit TFrmConexoes(DadosInstalacao instalacao = {}, OperacoesPrincipal* principal = nullptr,
                          QWidget* dono = nullptr, NavegadorRede* navegador = nullptr);
    ~TFrmConexoes() override;

    int Tag = 0; // the mode, set by the opener before the form is shown

    bool ModoAlteracao = false;
    bool PodeFechar = false;
    // Alter mode: the connection chosen, as stored.
    QString ApelidoAnterior;
    QString ServidorAnterior;
    QString TipoAnterior;
    QString AplicacaoAnterior;

    NavegadorRede* Navegador() const { return navegador_; }

    void FormShow();
    void RdGrpConexaoClick();
    void EdtServBancoExit();
    void BitBtnCapturarClick();
    void CbboxEdicaoChange();
    void BtnEscolherClick();
    void BitBtnGravarClick();
    void BitBtnCancelarClick();
    void BitBtnExcluirClick();
    void BitBtnVoltarClick();
    bool FormCloseQuery() const { return PodeFechar; }

    // "Procurar banco": asks every machine of the tree marked as a Firebird server (and those
    // marked later, while the search is on) whether it holds the edition's database.
    void BtnProcurarBancoClick();
    // Fills the form from a machine that holds the database (double click, "Usar este
    // servidor"): "Remota", the server (its address with "IP" ticked, else its name), the type
    // of the path that attached, an alias when the field is empty or still holds the local one,
    // and the application folder that DBXCONNECTIONS.INI names when the field is empty.
    void UsaServidor(const QTreeWidgetItem* no);

    // The popup menu of the network tree: "Selecionar", and "Usar este servidor" on a machine
    // that holds the database.
    QMenu* PopupRede() const { return popupRede_; }

protected:
    void FormCreate();
    // Escape anywhere in the form cancels; other keys go on to the controls.
    bool FormKeyDown(int tecla, Qt::KeyboardModifiers estado);
    void FormClose();
    void EscolheAplicacao();

    void showEvent(QShowEvent* evento) override;
    void closeEvent(QCloseEvent* evento) override;
    bool eventFilter(QObject* objeto, QEvent* evento) override;
    // Every way out of the dialog passes here; it is refused while PodeFechar is false.
    void done(int resultado) override;

private:
    bool Local() const;
    void SelecionaTipo(int item);
    void AdicionaMaquina(const QString& grupo, const QString& nome);
    void RemoveMaquina(const QString& grupo, const QString& nome);
    // A machine answered as a Firebird server: its node's mark, and the search asks it.
    void MarcaMaquina(const QString& grupo, const QString& nome);
    // The node's icon and tooltip: a computer, a Firebird server, or one holding the database.
    void AtualizaMarca(QTreeWidgetItem* maquina);
    void PerguntaMaquina(const QString& nome);
    void RespostaProcura(const QString& chave, const ResultadoProcura& resultado);
    // The line under the tree and the search button's state.
    void MostraProcura();
    // What the search found at a machine's node; none for another node.
    const ResultadoProcura* BancoEncontrado(const QTreeWidgetItem* no) const;
    // Drops the nodes of machines gone and of empty groups, but the selected one.
    void RetiraAusentes();
    void ShTVRedeContextPopup(const QPoint& posicao);
    // While a captured name is being resolved: the form disabled, the wait cursor shown.
    void EsperaResolucao(bool esperando);

    std::unique_ptr<Ui::TFrmConexoes> ui;
    const DadosInstalacao instalacao_;
    OperacoesPrincipal* const principal_;
    QButtonGroup* conexao_ = nullptr;
    QButtonGroup* tipo_ = nullptr;
    NavegadorRede* navegador_ = nullptr;
    QTreeWidgetItem* ambienteRede_ = nullptr;
    QTreeWidgetItem* todaRede_ = nullptr;
    // The tree's nodes: groups by their case-folded name, machines by group and name.
    QHash<QString, QTreeWidgetItem*> grupos_;
    QHash<QString, QTreeWidgetItem*> maquinas_;
    QSet<QTreeWidgetItem*> ausentes_; // gone, kept while selected
    QMenu* popupRede_ = nullptr;
    QAction* usarServidor_ = nullptr;
    ProcuraBanco* procura_ = nullptr;
    QString usuarioBanco_;                        // the User_Name the search attaches with
    QHash<QString, ResultadoProcura> resultados_; // by machine, its name case-folded
    QString pastaAplicacao_; // where the folder dialog of DirEdtAplicacao starts
    bool resolvendo_ = false;
};

// The form while it exists.
extern TFrmConexoes* FrmConexoes;

// The local database server as the registry stores it: on Windows the drive letter of the
// program's folder, elsewhere LOCALHOST (a Firebird on this machine, reached over TCP).
QString ServidorLocal(const QString& pastaPrograma);
// Its "Tipo": "Windows" on Windows, "Linux" elsewhere.
QString TipoServidorLocal();
