#pragma once

#include "common/Edicao.h"

#include <QDialog>

class OperacoesPrincipal;
class QLabel;
class QMenu;
class QVariantAnimation;

namespace Ui {
class TFrmMenu;
}

// The settings panel: a narrow borderless column beside the main window with every
// maintenance item of the program (servers, ping test, support tools, database user, module
// buttons) and the program's version at its foot. The main window's settings button creates
// it and shows it modally; it frees itself when it closes.
class TFrmMenu : public QDialog {
    Q_OBJECT
public:
    // `principal`: the main window's side (none: the items that need it do without it).
    TFrmMenu(DadosInstalacao instalacao, OperacoesPrincipal* principal, QWidget* dono);
    ~TFrmMenu() override;

    // The pop-up menu of the title, with its one item IBexpert1.
    QMenu* const PopupMenu1;

    // The colours of the panel's texts.
    static QColor CorTitulo();  // the "X" and the title
    static QColor CorLink();    // the link labels and the version
    static QColor CorXSobre();  // the "X" under the pointer
    static QColor CorXDepois(); // the "X" once the pointer has left it

protected:
    void FormShow();
    void FormClose();
    // Escape closes the panel whichever of its controls has the focus.
    bool FormKeyDown(int tecla, Qt::KeyboardModifiers estado);

    void LblXClick();
    void LblXMouseEnter();
    void LblXMouseLeave();
    void LblAtualizarMouseEnter(QLabel* rotulo);
    void LblAtualizarMouseLeave(QLabel* rotulo);

    void BitBtnIncluirClick();
    void BitBtn2Click();
    void BitBtnExcluirClick();
    void LblAtualizarClick();
    void LblCarregarBackupClick();
    void LblTestarConexaoClick();
    void LblSuporteClick();
    void LblSuporteRemotoClick();
    void LblUsuarioVELTOClick();
    void LblBotoesClick();
    void IBexpert1Click();

    void showEvent(QShowEvent* evento) override;
    void closeEvent(QCloseEvent* evento) override;
    bool eventFilter(QObject* objeto, QEvent* evento) override;

private:
    // The connection editor in the given mode, with this panel out of the way: the panel hides,
    // the editor runs owned by the main window, and the panel closes once it returns.
    void AbreEditor(int tag);
    // The panel unrolls from its left edge to its right edge in 150 ms.
    void AnimaAbertura();
    QList<QLabel*> Links() const;

    Ui::TFrmMenu* ui;
    const DadosInstalacao instalacao_;
    OperacoesPrincipal* const principal_;
    QVariantAnimation* animacao_ = nullptr;
};

// The settings panel while it exists.
extern TFrmMenu* FrmMenu;
