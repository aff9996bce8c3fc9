#pragma once

#include "common/Edicao.h"

#include <QString>

class QDialog;

// The settings panel's items that reach the maker's support server or start support programs.
// Each takes the open panel: it closes the panel when its item is done, and leaves it open when
// the user cancels or the item fails. The installation names the program's folder, where the
// backup and remote-support programs are kept, and its name, which the update's text shows.
//
// The remote-support program and the database tool are started at once when present (by name
// alone, with no network traffic); otherwise they are fetched by FTP first, off the interface's
// thread, with a progress window that can cancel. While a download runs every item here does
// nothing.
namespace FerramentasSuporte {
void Atualizar(QDialog* painel, const DadosInstalacao& instalacao);      // "Atualizar Gerenciador"
void CarregarBackup(QDialog* painel, const DadosInstalacao& instalacao); // "Carregar Back Up"
void AbrirSiteSuporte(QDialog* painel);                                  // "Site Suporte"
void SuporteRemoto(QDialog* painel, const DadosInstalacao& instalacao);  // "Suporte Remoto"
void IBExpert(QDialog* painel); // the title's pop-up item "IBexpert"

// The database tool with the given Program Files folder (IBExpert gives
// Plataforma::CapturaPastaProgramas()).
void IBExpertEm(QDialog* painel, const QString& pastaProgramas);

// Where the database tool is kept under a Program Files folder: the folder, one delimiter,
// "IBExpert", the delimiter, "ibexpert.exe"; an empty folder gives the folder IBExpert at the
// root of the current drive.
QString CaminhoIBExpert(const QString& pastaProgramas);

// The text of the update's question, naming the program's folder.
QString TextoAtualizacao(const QString& nomePasta);

// True while a download runs.
bool DownloadEmAndamento();

// The support server's FTP account: by default the build's host and port
// (GERENCIADOR_SERVIDOR_SUPORTE, GERENCIADOR_PORTA_FTP) with the support account.
struct ContaFtp {
    QString host;
    quint16 porta = 21;
    QString usuario;
    QString senha;
};
ContaFtp ContaPadrao();
// Test seam: the server the FTP items use from now on; an empty host restores the default.
void DefineConta(const ContaFtp& conta);
} // namespace FerramentasSuporte
