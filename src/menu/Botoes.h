#pragma once

#include <QDialog>

class QCheckBox;

namespace Ui {
class TFrmConfigBotoes;
}

// Which module buttons the main window shows: one box per module of the edition, each click
// written at once to the section "BOTÕES" of VELTO.INI ("Sim" shown, "Não" hidden). The main
// window reads that file only when it is created, so a change shows at the next start.
class TFrmConfigBotoes : public QDialog {
    Q_OBJECT
public:
    // caminhoVelto: VELTO.INI in the program's folder.
    TFrmConfigBotoes(QWidget* dono, QString caminhoVelto);
    ~TFrmConfigBotoes() override;

    // The company page for the folder EMPRESA exactly, the registry-office page for any other.
    void EscolhePagina(const QString& nomePasta);

    // Every module box, in creation order: the company page's, then the registry office's.
    QList<QCheckBox*> Caixas() const;

protected:
    void FormCreate();
    void CarregarBotoes();
    // Writes the box's state under the module's executable name; throws when the file or
    // its folder refuses the write ("Unable to write to " and the path).
    void ChkBxModuloClick(QCheckBox* caixa);
    void BtBtnFecharClick();

    void keyPressEvent(QKeyEvent* evento) override;

private:
    Ui::TFrmConfigBotoes* ui;
    const QString caminhoVelto_;
    bool carregando_ = false;
};

// The module's executable file name that a box carries (never shown as a tooltip).
QString HintCaixa(const QCheckBox* caixa);

// The dialog while it exists.
extern TFrmConfigBotoes* FrmConfigBotoes;
