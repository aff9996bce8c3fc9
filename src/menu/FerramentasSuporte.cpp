#include "menu/FerramentasSuporte.h"

// Not built yet: the items are present in the panel and do nothing.
namespace FerramentasSuporte {
void Atualizar(QDialog*) {}
void CarregarBackup(QDialog*) {}
void AbrirSiteSuporte(QDialog*) {}
void SuporteRemoto(QDialog*) {}
void IBExpert(QDialog*) {}
} // namespace FerramentasSuporte
