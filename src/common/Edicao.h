#pragma once

#include <QString>

// The suite's edition, told from the name of the folder that holds the program.
enum class Edicao { Nenhuma, Empresa, Cartorio };

// The folder name that decides the edition: the last component of the folder of the
// executable, upper-cased (ASCII letters only). A program in a root folder gives an empty name.
QString NomePastaDoExecutavel(const QString& caminhoExecutavel);

// The rule, first match wins: the name (upper-cased again) equals "EMPRESA", or its trimmed
// form has 7 characters: Empresa; it equals "CARTORIO", or its trimmed form has 8 characters:
// Cartório; otherwise none. The equality looks at the untrimmed name, the lengths at the
// trimmed one; the lengths do not look at the letters.
Edicao EdicaoDaPasta(const QString& nomePasta);

// "Empresa", "Cartório" or an empty text.
QString NomeEdicao(Edicao edicao);

// The main window's title: "VELTO " followed by the edition's name ("VELTO " alone, trailing
// blank included, when there is none). A running copy is known by it.
QString TituloPrincipal(Edicao edicao);

// The installation the program serves, fixed when the main window is created and handed to
// every form that reads or writes the folder's files.
struct DadosInstalacao {
    QString PastaPrograma; // the program's folder, ending in the path delimiter
    QString NomePasta;     // that folder's name, upper-cased: decides the edition
    Edicao edicao = Edicao::Nenhuma;
};
