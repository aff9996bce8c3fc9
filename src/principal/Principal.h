#pragma once

#include "common/Edicao.h"
#include "common/Plataforma.h"
#include "conexoes/OperacoesPrincipal.h"
#include "registro/RegistroConexoes.h"

#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

class ArquivoIni;
class QAbstractButton;
class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace Ui {
class TFrmPrincipal;
}

// The main window: one button per module of the edition that is installed in the program's
// folder and switched on in VELTO.INI, the server in use, and the settings button. It lives
// for the whole run; closing it (close box or Escape) ends the program. The forms it opens reach
// it through OperacoesPrincipal only.
class TFrmPrincipal : public QWidget, public OperacoesPrincipal {
    Q_OBJECT
public:
    // caminhoExecutavel: the program whose folder this window serves (the running executable;
    // tests give any path).
    explicit TFrmPrincipal(const QString& caminhoExecutavel = Plataforma::CaminhoExecutavel(),
                           QWidget* parent = nullptr);
    ~TFrmPrincipal() override;

    // Set once at creation; the forms receive them as Instalacao().
    QString NomePasta;      // upper-cased name of the program's folder: decides the edition
    QString PastaPrograma;  // the program's folder, ending in the path delimiter
    QString TituloMensagem; // caption of the registry operations' message boxes
    // Where the settings panel opens (screen top and left), set by PosicaoFormMenu.
    int TopoMenu = 0;
    int EsquerdaMenu = 0;

    DadosInstalacao Instalacao() const;

    // The last component of a path: the characters after its last delimiter.
    QString CapturaNomePasta(const QString& caminho) const;
    // The settings panel opens 30 pixels below the window's top and 5 pixels beyond its right
    // edge, counted from the window's fixed width of 309.
    void PosicaoFormMenu();
    // The running executable's version, in this window's format (3.2.1.00).
    static QString GetBuildInfo();

    // The connection registry (CONEXOES.INI). Every change reloads the two server lists.
    // Fills `alvo` with the aliases in alphabetical order and `espelho` (always CbboxServidor)
    // with the same names upper-cased; with `selecionaAtivo`, selects the active entry in both.
    void CarregarConexoes(QComboBox* espelho, QComboBox* alvo, bool selecionaAtivo);
    void CarregarConexoes(QComboBox* alvo, bool selecionaAtivo) override;
    void IncluiConexao(const QString& apelido, const QString& servidor, const QString& tipo,
                       const QString& aplicacao, const QString& status) override;
    // Removes the entry `apelidoAnterior` and writes this one in its place, in one write.
    void AlteraConexao(const QString& apelidoAnterior, const QString& apelido,
                       const QString& servidor, const QString& tipo, const QString& aplicacao,
                       const QString& status) override;
    void ExcluiConexao(const QString& apelido, bool anuncia) override;
    // 1 when some entry has this server + 2 when the alias exists.
    quint16 ConexaoExiste(const QString& servidor, const QString& apelido) override;
    QString ApelidoServidor(const QString& servidor);
    // Marks the alias active and every listed one inactive, reloads the lists and points the
    // dbExpress connection at it. False when nothing was changed.
    bool MudaConexaoAtiva(const QString& apelido) override;

    // The server switch: a choice in the visible selector.
    void CbxApelidoServidorChange() override;
    void CbboxServidorChange();
    void AlteraDBXConnection(const QString& apelido);

    // Whether DBXCONNECTIONS.INI names what the switch would write for the server in use (read
    // when the lists load and when the window becomes active again); when not, the mark beside
    // the selector shows, saying why.
    void ConfereServidorEmUso();
    // A click on that mark: offers to write the server in use (or to use the entry the file
    // names) exactly as a choice in the selector would.
    void SpdBtnAvisoDbxClick();
    QToolButton* SpdBtnAvisoDbx() const { return avisoDbx_; }

    // A computer's IPv4 address, looked up off the interface thread (GetIPAssincrono in
    // registro/Enderecos.h).
    void GetIP(const QString& nomeComputador, QObject* contexto, std::function<void()> resolvido,
               std::function<void(const QString&)> pronto) override;
    static bool ValidaIP(const QString& texto);

    // The page the public IP lookup asks (the build's choice; tests point it at 127.0.0.1).
    QString UrlMeuIP;

    QComboBox* FltCbxApelidoServidor() const;
    QComboBox* CbboxServidor() const;
    QLabel* LblIP() const;

    QWidget* Janela() override { return this; }
    QPoint PosicaoMenu() const override { return {EsquerdaMenu, TopoMenu}; }
    int QuantidadeConexoes() const override;
    QString ApelidoEmUso() const override;
    int IndiceEmUso() const override;
    void SelecionaEmUso(int indice) override;

    // The module executable's file name that a button carries as data (never as a tooltip).
    static QString Hint(const QObject* botao);
    static void DefineHint(QObject* botao, const QString& hint);

protected:
    void FormCreate();
    // velto: VELTO.INI as read for this creation (opened here when not given).
    void ConfiguraBotao(QPushButton* botao, const ArquivoIni* velto = nullptr);
    void FltBtnClick(QAbstractButton* botao);
    // Escape closes the window; other keys do nothing here.
    bool FormKeyDown(int tecla, Qt::KeyboardModifiers estado);
    void SpdBtnMenuClick();
    void FormShow();

    void showEvent(QShowEvent* evento) override;
    void changeEvent(QEvent* evento) override;
    void paintEvent(QPaintEvent* evento) override;
    bool eventFilter(QObject* objeto, QEvent* evento) override;

private:
    void DefineAltura(int altura);
    void IniciaBuscaPendente();
    // The switch to the entry selected in the mirror; `anuncia`: the user chose it here.
    void TrocaServidor(bool anuncia);

    Ui::TFrmPrincipal* ui;
    RegistroEstacao* registro_ = nullptr;
    int TopoBotao = 0;             // top of the module button placed last
    bool buscaIPPendente_ = false; // shown, public IP lookup not started yet
    // The entry in use as the lists last loaded it, and what the dbExpress file said of it.
    QString apelidoEmUso_;
    std::optional<RegistroConexoes::Conexao> conexaoEmUso_;
    RegistroConexoes::ConferenciaDbx conferencia_;
    QToolButton* avisoDbx_ = nullptr;
    int larguraSeletor_ = 0; // the selector's width without the mark
};

// The one main window of the run, while it exists (for start-up and this folder only).
extern TFrmPrincipal* FrmPrincipal;
