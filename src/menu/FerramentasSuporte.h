#pragma once

class QDialog;

// The settings panel's items that reach the maker's support server or start support programs.
// Each takes the open panel: it closes the panel when its item is done, and leaves it open when
// the user cancels or the item fails.
namespace FerramentasSuporte {
void Atualizar(QDialog* painel);        // "Atualizar Gerenciador"
void CarregarBackup(QDialog* painel);   // "Carregar Back Up"
void AbrirSiteSuporte(QDialog* painel); // "Site Suporte"
void SuporteRemoto(QDialog* painel);    // "Suporte Remoto"
void IBExpert(QDialog* painel);         // the title's pop-up item "IBexpert"
} // namespace FerramentasSuporte
