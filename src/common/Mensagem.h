#pragma once

#include <QString>
#include <functional>

// Every modal message box of the program goes through MostraMensagem.

enum class IconeMensagem { Informacao, Aviso, Erro, Exclamacao };
enum class BotoesMensagem { Ok, OkCancelar };
enum class RespostaMensagem { Ok, Cancelar, Extra };

struct PedidoMensagem {
    QString texto; // exactly as the caller gave it ("\r" line breaks included)
    QString titulo;
    IconeMensagem icone = IconeMensagem::Informacao;
    BotoesMensagem botoes = BotoesMensagem::Ok;
    QString extra; // the caption of a third button after OK and Cancel (none when empty)
};

// Shows a modal box and returns the button pressed (closing the box answers Cancelar when
// there is one, else Ok). `extra`, with OkCancelar: a third button, answered Extra.
RespostaMensagem MostraMensagem(const QString& texto, const QString& titulo, IconeMensagem icone,
                                BotoesMensagem botoes = BotoesMensagem::Ok,
                                const QString& extra = {});

// Test seam: while set, no box is shown; the function answers in its place. Set it back to
// an empty function to restore real boxes.
using RespondeMensagem = std::function<RespostaMensagem(const PedidoMensagem&)>;
void DefineRespondeMensagem(RespondeMensagem responde);

// The general error display: the error's message in a box with the stop icon and the
// application's name as caption. The program goes on afterwards.
void ExibeErroGeral(const QString& mensagem);

const char* NomeIcone(IconeMensagem icone);
