#pragma once

#include "common/Plataforma.h"

#include <QString>
#include <QWidget>

class QAbstractButton;
class QComboBox;
class QLabel;
class QPushButton;

namespace Ui {
class TFrmPrincipal;
}

// The main window: one button per module of the edition that is installed in the program's
// folder and switched on in VELTO.INI, the server in use, and the settings button. It lives
// for the whole run; closing it (close box or Escape) ends the program.
class TFrmPrincipal : public QWidget {
    Q_OBJECT
public:
    // caminhoExecutavel: the program whose folder this window serves (the running executable;
    // tests give any path).
    explicit TFrmPrincipal(const QString& caminhoExecutavel = Plataforma::CaminhoExecutavel(),
                           QWidget* parent = nullptr);
    ~TFrmPrincipal() override;

    // Set once at creation, read by the other forms through FrmPrincipal.
    QString NomePasta;      // upper-cased name of the program's folder: decides the edition
    QString PastaPrograma;  // the program's folder, ending in the path delimiter
    QString TituloMensagem; // caption of the registry operations' message boxes
    // Where the settings panel opens (screen top and left), set by PosicaoFormMenu.
    int TopoMenu = 0;
    int EsquerdaMenu = 0;

    // The last component of a path: the characters after its last delimiter.
    QString CapturaNomePasta(const QString& caminho) const;
    // The settings panel opens 30 pixels below the window's top and 5 pixels beyond its right
    // edge, counted from the window's fixed width of 309.
    void PosicaoFormMenu();
    // The running executable's version, in this window's format (3.2.1.00).
    static QString GetBuildInfo();

    QComboBox* FltCbxApelidoServidor() const;
    QComboBox* CbboxServidor() const;
    QLabel* LblIP() const;

    // The module executable's file name that a button carries as data (never as a tooltip).
    static QString Hint(const QObject* botao);
    static void DefineHint(QObject* botao, const QString& hint);

protected:
    void FormCreate();
    void ConfiguraBotao(QPushButton* botao);
    void FltBtnClick(QAbstractButton* botao);
    // Escape closes the window; other keys do nothing here.
    bool FormKeyDown(int tecla, Qt::KeyboardModifiers estado);
    void SpdBtnMenuClick();
    void FormShow();

    void showEvent(QShowEvent* evento) override;
    bool eventFilter(QObject* objeto, QEvent* evento) override;

private:
    void DefineAltura(int altura);

    Ui::TFrmPrincipal* ui;
    int TopoBotao = 0; // top of the module button placed last
};

// The one main window of the run, while it exists.
extern TFrmPrincipal* FrmPrincipal;
