#pragma once

#include "common/Edicao.h"

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

    // The popup menu of the network tree and its one item, "Selecionar".
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
    // The machine's node shows that its Firebird port answered in `ms` (-1: not known to).
    void MarcaMaquina(const QString& grupo, const QString& nome, qint64 ms);
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
