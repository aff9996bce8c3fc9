#include "common/ArquivoIni.h"
#include "common/Texto.h"
#include "registro/RegistroConexoes.h"
#include "support/GravadorMensagens.h"
#include "support/Instalacao.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <algorithm>
#include <numeric>

using namespace RegistroConexoes;

namespace {

const QString kErroConexoes = QStringLiteral("Não foi possível abrir o arquivo de conexões!");
const QString kErroDbx =
    QStringLiteral("Não foi possível abrir o arquivo de conexão com o Banco de Dados!");

// Windows-1252 bytes of a text written with \n line ends, turned into CRLF.
QByteArray Ini(const QString& texto) {
    QString t = texto;
    t.replace(u'\n', QLatin1String("\r\n"));
    return ParaWindows1252(t);
}

QString Pasta(const Instalacao& inst) {
    return inst.Pasta() + u'/';
}

void TiraEscrita(const QString& caminho) {
    QFile::setPermissions(
        caminho, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther |
                     (QFileInfo(caminho).isDir() ? QFile::ExeOwner : QFile::Permissions()));
}
void DevolveEscrita(const QString& caminho) {
    QFile::setPermissions(caminho, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// A file that exists but cannot be read: a folder in its place.
void TornaIlegivel(const Instalacao& inst, const QString& arquivo) {
    QVERIFY(QDir().mkpath(inst.Caminho(arquivo) + QLatin1String("/x")));
}

// Windows keeps a folder's read-only attribute for the shell only: files are still created in
// it, so a read-only folder is a case of the other platforms.
bool PastaSomenteLeituraImpedeEscrita() {
#ifdef Q_OS_WIN
    return false;
#else
    return true;
#endif
}

const QByteArray kDuasConexoes = Ini(u"[LOCAL - C]\nServidor=C\nTipo=Windows\n"
                                     u"Aplicação=C:\\VELTO\nStatus=I\n"
                                     u"[MATRIZ]\nServidor=192.168.0.10\nTipo=Linux\n"
                                     u"Aplicação=\\\\MATRIZ\\VELTO\nStatus=A\n"_qs);

} // namespace

class TstRegistroConexoes : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void carregar_data() {
        QTest::addColumn<QByteArray>("arquivo");
        QTest::addColumn<bool>("marca");
        QTest::addColumn<QStringList>("apelidos");
        QTest::addColumn<int>("selecionado");
        QTest::addColumn<int>("selecionadoEspelho");

        QTest::newRow("sem arquivo") << QByteArray() << true << QStringList() << -1 << -1;
        QTest::newRow("arquivo vazio") << QByteArray("") << true << QStringList() << -1 << -1;
        QTest::newRow("duas, MATRIZ ativa")
            << kDuasConexoes << true << QStringList{"LOCAL - C", "MATRIZ"} << 1 << 1;
        QTest::newRow("todas I") << Ini(u"[B]\nStatus=I\n[A]\nStatus=I\n"_qs) << true
                                 << QStringList{"A", "B"} << -1 << -1;
        QTest::newRow("BETA e ALFA ativas: ALFA pela ordem da lista")
            << Ini(u"[BETA]\nStatus=A\n[ALFA]\nStatus=A\n"_qs) << true
            << QStringList{"ALFA", "BETA"} << 0 << 0;
        QTest::newRow("a minúsculo não é ativo") << Ini(u"[ALFA]\nStatus=a\n[BETA]\nStatus=A\n"_qs)
                                                 << true << QStringList{"ALFA", "BETA"} << 1 << 1;
        QTest::newRow("nenhuma com Status")
            << Ini(u"[ALFA]\nServidor=x\n"_qs) << true << QStringList{"ALFA"} << -1 << -1;
        QTest::newRow("ordem sem caixa")
            << Ini(u"[matriz]\nStatus=A\n[Filial]\n[LOCAL - C]\n[alfa]\n"_qs) << true
            << QStringList{"alfa", "Filial", "LOCAL - C", "matriz"} << 3 << 3;
        QTest::newRow("acentos na ordem alfabética")
            << Ini(u"[FILIAL]\n[ÉVORA]\nStatus=A\n[ESTE]\n"_qs) << true
            << QStringList{u"ESTE"_qs, u"ÉVORA"_qs, u"FILIAL"_qs} << 1 << 1;
        QTest::newRow("empate mantém a ordem do arquivo")
            << Ini(u"[Matriz]\nStatus=I\n[MATRIZ]\nStatus=A\n[ALFA]\n"_qs) << true
            << QStringList{"ALFA", "Matriz", "MATRIZ"} << -1 << -1;
        QTest::newRow("sem marca: a última, espelho sem seleção")
            << kDuasConexoes << false << QStringList{"LOCAL - C", "MATRIZ"} << 1 << -1;
        QTest::newRow("sem marca e vazio") << QByteArray() << false << QStringList() << -1 << -1;
    }
    void carregar() {
        QFETCH(QByteArray, arquivo);
        QFETCH(bool, marca);
        QFETCH(QStringList, apelidos);
        QFETCH(int, selecionado);
        QFETCH(int, selecionadoEspelho);
        Instalacao inst;
        if (!arquivo.isNull())
            inst.Grava("CONEXOES.INI", arquivo);
        GravadorMensagens msgs;

        const ListaConexoes l = CarregarConexoes(Pasta(inst), marca);
        QCOMPARE(l.apelidos, apelidos);
        QStringList espelho;
        for (const QString& a : apelidos)
            espelho.append(MaiusculasAscii(a));
        QCOMPARE(l.espelho, espelho);
        QCOMPARE(l.selecionado, selecionado);
        QCOMPARE(l.selecionadoEspelho, selecionadoEspelho);
        QVERIFY(l.leituraOk);
        QCOMPARE(msgs.Textos(), QStringList());
        QCOMPARE(QFile::exists(inst.Caminho("CONEXOES.INI")), !arquivo.isNull());
    }

    // Registries large enough to be sorted by collation keys give the order the collator
    // gives, ties in file order, and the active mark of the first name in that order.
    void carregarMuitas_data() {
        QTest::addColumn<int>("quantas");
        QTest::newRow("500") << 500;
        QTest::newRow("25.000") << 25000;
    }
    void carregarMuitas() {
        QFETCH(int, quantas);
        const QStringList formas{u"são paulo %1"_qs, u"SÃO PAULO %1"_qs, u"Sao Paulo %1"_qs,
                                 u"ÉVORA-%1"_qs,     u"evora %1"_qs,     u"Zé %1"_qs,
                                 u"z%1"_qs,          u"a b %1"_qs,       u"ab %1"_qs};
        QRandomGenerator gerador(7);
        QStringList nomes;
        QString texto;
        for (int i = 0; i < quantas; ++i) {
            // Few numbers, so that names equal but for case and accents are many.
            const QString nome =
                formas[gerador.bounded(int(formas.size()))].arg(gerador.bounded(quantas / 8));
            nomes.append(nome);
            texto += u"["_qs + nome + u"]\nStatus="_qs + (gerador.bounded(50) == 0 ? u'A' : u'I') +
                     u'\n';
        }
        Instalacao inst;
        inst.Grava("CONEXOES.INI", Ini(texto));
        const ListaConexoes l = CarregarConexoes(Pasta(inst), true);

        QCollator colador{QLocale(QLocale::Portuguese, QLocale::Brazil)};
        colador.setCaseSensitivity(Qt::CaseInsensitive);
        std::vector<qsizetype> esperada(std::size_t(nomes.size()));
        std::iota(esperada.begin(), esperada.end(), 0);
        std::stable_sort(esperada.begin(), esperada.end(), [&](qsizetype a, qsizetype b) {
            return colador.compare(nomes[a], nomes[b]) < 0;
        });
        QStringList apelidos;
        for (qsizetype i : esperada)
            apelidos.append(nomes[i]);
        QCOMPARE(l.apelidos, apelidos);
        QCOMPARE(l.espelho.size(), apelidos.size());
        QCOMPARE(l.espelho.last(), MaiusculasAscii(apelidos.last()));

        const ArquivoIni ini(inst.Caminho("CONEXOES.INI"));
        int ativo = -1;
        for (int i = 0; i < apelidos.size() && ativo < 0; ++i)
            if (ini.LeTexto(apelidos[i], QStringLiteral("Status")) == QLatin1String("A"))
                ativo = i;
        QVERIFY(ativo >= 0);
        QCOMPARE(l.selecionado, ativo);
        QCOMPARE(l.selecionadoEspelho, ativo);
    }

    void carregarIlegivel() {
        Instalacao inst;
        TornaIlegivel(inst, "CONEXOES.INI");
        GravadorMensagens msgs;
        const ListaConexoes l = CarregarConexoes(Pasta(inst), true);
        QVERIFY(!l.leituraOk);
        QVERIFY(l.apelidos.isEmpty());
        QCOMPARE(l.selecionado, -1);
        QCOMPARE(msgs.Textos(), QStringList{kErroConexoes});
        QCOMPARE(msgs.Pedidos().at(0).titulo, QStringLiteral("Gerenciador"));
        QCOMPARE(msgs.Pedidos().at(0).icone, IconeMensagem::Erro);
    }

    void incluir_data() {
        QTest::addColumn<QByteArray>("antes");
        QTest::addColumn<QStringList>("args"); // alias, server, type, folder, status
        QTest::addColumn<int>("resultado");
        QTest::addColumn<QByteArray>("depois");

        const QStringList matriz{"MATRIZ", "10.0.0.5", "Linux", "\\\\MATRIZ\\VELTO", "I"};
        QTest::newRow("cria o arquivo, chaves em ordem")
            << QByteArray() << matriz << int(Gravacao::Gravada)
            << Ini(u"[MATRIZ]\nServidor=10.0.0.5\nTipo=Linux\n"
                   u"Aplicação=\\\\MATRIZ\\VELTO\nStatus=I\n"_qs);
        QTest::newRow("valores gravados sem aparar")
            << QByteArray() << QStringList{" MATRIZ", " srv ", "Linux ", " C:\\V", " I "}
            << int(Gravacao::Gravada)
            << Ini(u"[MATRIZ]\nServidor= srv \nTipo=Linux \nAplicação= C:\\V\nStatus= I \n"_qs);
        QTest::newRow("status vazio grava Status vazio")
            << QByteArray() << QStringList{"M", "s", "Windows", "C:\\V", ""}
            << int(Gravacao::Gravada)
            << Ini(u"[M]\nServidor=s\nTipo=Windows\nAplicação=C:\\V\nStatus=\n"_qs);
        QTest::newRow("tipo de três brancos: nada")
            << QByteArray() << QStringList{"M", "s", "   ", "C:\\V", "I"} << int(Gravacao::Recusada)
            << QByteArray();
        QTest::newRow("apelido em branco: nada")
            << kDuasConexoes << QStringList{" \t", "s", "Linux", "C:\\V", "I"}
            << int(Gravacao::Recusada) << kDuasConexoes;
        QTest::newRow("servidor vazio: nada")
            << kDuasConexoes << QStringList{"M", "", "Linux", "C:\\V", "I"}
            << int(Gravacao::Recusada) << kDuasConexoes;
        QTest::newRow("aplicação em branco: nada")
            << kDuasConexoes << QStringList{"M", "s", "Linux", "\r\n", "I"}
            << int(Gravacao::Recusada) << kDuasConexoes;
        QTest::newRow("sobrescreve e mantém as outras chaves")
            << Ini(u"[X]\nk=v\n[matriz]\nServidor=velho\nPorta=3050\nStatus=A\n\n[Y]\nk=v\n"_qs)
            << matriz << int(Gravacao::Gravada)
            << Ini(u"[X]\nk=v\n[matriz]\nServidor=10.0.0.5\nPorta=3050\nStatus=I\nTipo=Linux\n"
                   u"Aplicação=\\\\MATRIZ\\VELTO\n\n[Y]\nk=v\n"_qs);
    }
    void incluir() {
        QFETCH(QByteArray, antes);
        QFETCH(QStringList, args);
        QFETCH(int, resultado);
        QFETCH(QByteArray, depois);
        Instalacao inst;
        if (!antes.isNull())
            inst.Grava("CONEXOES.INI", antes);
        GravadorMensagens msgs;
        QCOMPARE(int(IncluiConexao(Pasta(inst), args[0], args[1], args[2], args[3], args[4])),
                 resultado);
        QCOMPARE(msgs.Textos(), QStringList());
        QCOMPARE(QFile::exists(inst.Caminho("CONEXOES.INI")), !depois.isNull());
        QCOMPARE(inst.Le("CONEXOES.INI"), depois);
    }

    // Each way the registry cannot be written: the message, and nothing lost or created.
    void naoGravavel_data() {
        QTest::addColumn<QString>("caso");
        QTest::newRow("arquivo somente leitura") << "arquivo";
        QTest::newRow("pasta somente leitura") << "pasta";
        QTest::newRow("pasta somente leitura, sem arquivo") << "pasta-vazia";
        QTest::newRow("arquivo ilegível") << "ilegivel";
    }
    void naoGravavel() {
        QFETCH(QString, caso);
        if (caso.startsWith(QLatin1String("pasta")) && !PastaSomenteLeituraImpedeEscrita())
            QSKIP("no Windows, uma pasta somente leitura ainda aceita arquivos novos");
        Instalacao inst;
        const QString arquivo = inst.Caminho("CONEXOES.INI");
        if (caso == QLatin1String("ilegivel"))
            TornaIlegivel(inst, "CONEXOES.INI");
        else if (caso != QLatin1String("pasta-vazia"))
            inst.Grava("CONEXOES.INI", kDuasConexoes);
        const QString travado = caso == QLatin1String("arquivo") ? arquivo : inst.Pasta();
        if (caso != QLatin1String("ilegivel"))
            TiraEscrita(travado);
        const QByteArray antes = inst.Le("CONEXOES.INI");

        GravadorMensagens msgs;
        QCOMPARE(IncluiConexao(Pasta(inst), "NOVA", "s", "Linux", "C:\\V", "I"), Gravacao::Falhou);
        QVERIFY(!MudaConexaoAtiva(Pasta(inst), "LOCAL - C", {"LOCAL - C", "MATRIZ"}));
        QCOMPARE(msgs.Textos(), QStringList(2, kErroConexoes));
        // Removing from a file that is not there has nothing to do, so nothing fails.
        const bool semArquivo = caso == QLatin1String("pasta-vazia");
        QCOMPARE(ExcluiConexao(Pasta(inst), "MATRIZ", true),
                 semArquivo ? Gravacao::Gravada : Gravacao::Falhou);
        QCOMPARE(msgs.Textos().at(2),
                 semArquivo ? QStringLiteral("Conexão excluida com sucesso!") : kErroConexoes);
        msgs.Limpa();
        QVERIFY(!MudaConexaoAtiva(Pasta(inst), "LOCAL - C", {}));
        QCOMPARE(msgs.Textos(), QStringList{kErroConexoes});
        for (const PedidoMensagem& p : msgs.Pedidos()) {
            QCOMPARE(p.titulo, QStringLiteral("Gerenciador"));
            QCOMPARE(p.icone, IconeMensagem::Erro);
        }
        QCOMPARE(inst.Le("CONEXOES.INI"), antes);
        QCOMPARE(QDir(inst.Pasta())
                     .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                     .size(),
                 caso == QLatin1String("pasta-vazia") ? 0 : 1);
        DevolveEscrita(travado);
    }

    // An alteration is one write: the old section goes and the new one is appended at the end.
    void alterar_data() {
        QTest::addColumn<QString>("anterior");
        QTest::addColumn<QStringList>("args"); // alias, server, type, folder, status
        QTest::addColumn<int>("resultado");
        QTest::addColumn<QByteArray>("depois");
        QTest::addColumn<QByteArray>("antes");

        const QByteArray comPorta =
            Ini(u"[X]\nk=v\n[MATRIZ]\nServidor=velho\nPorta=3050\nStatus=A\n\n[Y]\nk=v\n"_qs);
        QTest::newRow("mesmo apelido: seção reescrita no fim, sem as outras chaves")
            << "MATRIZ" << QStringList{"MATRIZ", "10.0.0.5", "Linux", "C:\\V", "I"}
            << int(Gravacao::Gravada)
            << Ini(u"[X]\nk=v\n[Y]\nk=v\n[MATRIZ]\nServidor=10.0.0.5\nTipo=Linux\n"
                   u"Aplicação=C:\\V\nStatus=I\n"_qs)
            << comPorta;
        QTest::newRow("apelido novo: o antigo não fica")
            << "LOCAL - C" << QStringList{"LOCAL - D", "D", "Windows", "D:\\V", "I"}
            << int(Gravacao::Gravada)
            << Ini(u"[MATRIZ]\nServidor=192.168.0.10\nTipo=Linux\nAplicação=\\\\MATRIZ\\VELTO\n"
                   u"Status=A\n[LOCAL - D]\nServidor=D\nTipo=Windows\nAplicação=D:\\V\n"
                   u"Status=I\n"_qs)
            << kDuasConexoes;
        QTest::newRow("anterior em outra caixa")
            << "matriz" << QStringList{"FILIAL", "10.0.0.7", "Windows", "E:\\V", "I"}
            << int(Gravacao::Gravada)
            << Ini(u"[LOCAL - C]\nServidor=C\nTipo=Windows\nAplicação=C:\\VELTO\nStatus=I\n"
                   u"[FILIAL]\nServidor=10.0.0.7\nTipo=Windows\nAplicação=E:\\V\nStatus=I\n"_qs)
            << kDuasConexoes;
        QTest::newRow("anterior inexistente: só inclui")
            << "OUTRA" << QStringList{"NOVA", "s", "Linux", "C:\\V", "I"} << int(Gravacao::Gravada)
            << kDuasConexoes +
                   Ini(u"[NOVA]\nServidor=s\nTipo=Linux\nAplicação=C:\\V\nStatus=I\n"_qs)
            << kDuasConexoes;
        QTest::newRow("recusada: o antigo fica")
            << "MATRIZ" << QStringList{"MATRIZ", "10.0.0.5", " ", "C:\\V", "I"}
            << int(Gravacao::Recusada) << kDuasConexoes << kDuasConexoes;
    }
    void alterar() {
        QFETCH(QString, anterior);
        QFETCH(QStringList, args);
        QFETCH(int, resultado);
        QFETCH(QByteArray, depois);
        QFETCH(QByteArray, antes);
        Instalacao inst;
        inst.Grava("CONEXOES.INI", antes);
        GravadorMensagens msgs;
        QCOMPARE(
            int(AlteraConexao(Pasta(inst), anterior, args[0], args[1], args[2], args[3], args[4])),
            resultado);
        QCOMPARE(msgs.Textos(), QStringList());
        QCOMPARE(inst.Le("CONEXOES.INI"), depois);
    }

    // A write that fails leaves the entry being altered where it was.
    void alterarFalha_data() {
        QTest::addColumn<QString>("caso");
        QTest::newRow("arquivo somente leitura") << "arquivo";
        QTest::newRow("pasta somente leitura") << "pasta";
        QTest::newRow("arquivo ilegível") << "ilegivel";
    }
    void alterarFalha() {
        QFETCH(QString, caso);
        if (caso == QLatin1String("pasta") && !PastaSomenteLeituraImpedeEscrita())
            QSKIP("no Windows, uma pasta somente leitura ainda aceita arquivos novos");
        Instalacao inst;
        if (caso == QLatin1String("ilegivel"))
            TornaIlegivel(inst, "CONEXOES.INI");
        else
            inst.Grava("CONEXOES.INI", kDuasConexoes);
        const QString travado =
            caso == QLatin1String("arquivo") ? inst.Caminho("CONEXOES.INI") : inst.Pasta();
        if (caso != QLatin1String("ilegivel"))
            TiraEscrita(travado);
        const QByteArray antes = inst.Le("CONEXOES.INI");
        GravadorMensagens msgs;
        QCOMPARE(
            AlteraConexao(Pasta(inst), "MATRIZ", "MATRIZ 2", "10.0.0.9", "Linux", "C:\\V", "I"),
            Gravacao::Falhou);
        QCOMPARE(msgs.Textos(), QStringList{kErroConexoes});
        QCOMPARE(inst.Le("CONEXOES.INI"), antes);
        if (caso != QLatin1String("ilegivel")) {
            DevolveEscrita(travado);
            QCOMPARE(LeConexao(Pasta(inst), "MATRIZ")->servidor, QStringLiteral("192.168.0.10"));
        }
    }

    void excluir_data() {
        QTest::addColumn<QString>("apelido");
        QTest::addColumn<bool>("anuncia");
        QTest::addColumn<QByteArray>("depois");
        const QByteArray soMatriz = Ini(u"[MATRIZ]\nServidor=192.168.0.10\nTipo=Linux\n"
                                        u"Aplicação=\\\\MATRIZ\\VELTO\nStatus=A\n"_qs);
        QTest::newRow("calada") << "LOCAL - C" << false << soMatriz;
        QTest::newRow("anunciada, caixa diferente") << "local - c" << true << soMatriz;
        QTest::newRow("inexistente anunciada") << "OUTRA" << true << kDuasConexoes;
    }
    void excluir() {
        QFETCH(QString, apelido);
        QFETCH(bool, anuncia);
        QFETCH(QByteArray, depois);
        Instalacao inst;
        inst.Grava("CONEXOES.INI", kDuasConexoes);
        GravadorMensagens msgs;
        QCOMPARE(ExcluiConexao(Pasta(inst), apelido, anuncia), Gravacao::Gravada);
        QCOMPARE(inst.Le("CONEXOES.INI"), depois);
        if (!anuncia) {
            QCOMPARE(msgs.Textos(), QStringList());
        } else {
            QCOMPARE(msgs.Textos(), QStringList{QStringLiteral("Conexão excluida com sucesso!")});
            QCOMPARE(msgs.Pedidos().at(0).titulo, QStringLiteral("Gerenciador"));
            QCOMPARE(msgs.Pedidos().at(0).icone, IconeMensagem::Informacao);
        }
    }

    // The installation's registry says Alterado once after each change, failed writes included,
    // never for a refused one, and only when the file already holds what the lists must show.
    void avisaAlteracao_data() {
        QTest::addColumn<int>("operacao"); // 0 include, 1 alter, 2 remove, 3 mark active
        QTest::addColumn<QString>("apelido");
        QTest::addColumn<bool>("somenteLeitura");
        QTest::addColumn<int>("avisos");
        QTest::newRow("inclui") << 0 << "FILIAL" << false << 1;
        QTest::newRow("inclui recusada") << 0 << " " << false << 0;
        QTest::newRow("inclui sem gravar") << 0 << "FILIAL" << true << 1;
        QTest::newRow("altera") << 1 << "FILIAL" << false << 1;
        QTest::newRow("altera recusada") << 1 << "" << false << 0;
        QTest::newRow("exclui") << 2 << "LOCAL - C" << false << 1;
        QTest::newRow("exclui sem gravar") << 2 << "MATRIZ" << true << 1;
        QTest::newRow("marca ativa") << 3 << "LOCAL - C" << false << 1;
        QTest::newRow("marca ativa em branco") << 3 << "" << false << 0;
    }
    void avisaAlteracao() {
        QFETCH(int, operacao);
        QFETCH(QString, apelido);
        QFETCH(bool, somenteLeitura);
        QFETCH(int, avisos);
        Instalacao inst;
        inst.Grava("CONEXOES.INI", kDuasConexoes);
        if (somenteLeitura)
            TiraEscrita(inst.Caminho("CONEXOES.INI"));
        GravadorMensagens msgs;
        RegistroEstacao registro({Pasta(inst), QStringLiteral("EMPRESA"), Edicao::Empresa});
        QList<QByteArray> vistos;
        connect(&registro, &RegistroEstacao::Alterado, this,
                [&] { vistos.append(inst.Le("CONEXOES.INI")); });
        const QString p = QStringLiteral("\\\\P");
        switch (operacao) {
        case 0:
            registro.Inclui(apelido, "10.0.0.9", "Linux", p, "I");
            break;
        case 1:
            registro.Altera("MATRIZ", apelido, "10.0.0.9", "Linux", p, "I");
            break;
        case 2:
            registro.Exclui(apelido, false);
            break;
        default:
            registro.MarcaAtiva(apelido, {"LOCAL - C", "MATRIZ"});
            break;
        }
        DevolveEscrita(inst.Caminho("CONEXOES.INI"));
        QCOMPARE(vistos.size(), avisos);
        if (avisos)
            QCOMPARE(vistos.first(), inst.Le("CONEXOES.INI"));
        if (avisos && !somenteLeitura)
            QVERIFY(vistos.first() != kDuasConexoes);
    }

    void excluirAtivaDeixaSemSelecao() {
        Instalacao inst;
        inst.Grava("CONEXOES.INI", kDuasConexoes);
        QCOMPARE(ExcluiConexao(Pasta(inst), "MATRIZ", false), Gravacao::Gravada);
        const ListaConexoes l = CarregarConexoes(Pasta(inst), true);
        QCOMPARE(l.apelidos, QStringList{"LOCAL - C"});
        QCOMPARE(l.selecionado, -1);
    }

    void conexaoExiste_data() {
        QTest::addColumn<QString>("servidor");
        QTest::addColumn<QString>("apelido");
        QTest::addColumn<int>("codigo");
        QTest::addColumn<QString>("apelidoDoServidor");
        QTest::newRow("nenhum") << "10.0.0.9"
                                << "NOVA" << 0 << "";
        QTest::newRow("servidor") << "srv01"
                                  << "NOVA" << 1 << "MATRIZ";
        QTest::newRow("servidor só na caixa não conta") << "SRV01"
                                                        << "NOVA" << 0 << "";
        QTest::newRow("apelido") << "10.0.0.9"
                                 << "FILIAL" << 2 << "";
        QTest::newRow("apelido em outra caixa conta") << "10.0.0.9"
                                                      << "filial" << 2 << "";
        QTest::newRow("apelido acentuado em outra caixa") << "x" << u"são paulo"_qs << 2 << "";
        QTest::newRow("os dois") << "srv01"
                                 << "Matriz" << 3 << "MATRIZ";
        QTest::newRow("primeiro na ordem do arquivo") << "10.0.0.5"
                                                      << "X" << 1 << "FILIAL";
        // As the file would hold them: trimmed, the value without its pair of quotes.
        QTest::newRow("apelido com brancos") << "x"
                                             << " FILIAL\t" << 2 << "";
        QTest::newRow("servidor com brancos") << " 10.0.0.5 "
                                              << "NOVA" << 1 << "FILIAL";
        QTest::newRow("servidor entre aspas") << " \" srv01 \" "
                                              << "NOVA" << 1 << "MATRIZ";
    }
    void conexaoExiste() {
        QFETCH(QString, servidor);
        QFETCH(QString, apelido);
        QFETCH(int, codigo);
        QFETCH(QString, apelidoDoServidor);
        Instalacao inst;
        inst.Grava("CONEXOES.INI",
                   Ini(u"[FILIAL]\nServidor=10.0.0.5\n[MATRIZ]\nServidor=srv01\n"
                       u"[ZETA]\nServidor=10.0.0.5\n[SÃO PAULO]\nServidor=sp\n"_qs));
        GravadorMensagens msgs;
        bool encerrar = false;
        QCOMPARE(int(ConexaoExiste(Pasta(inst), servidor, apelido, &encerrar)), codigo);
        QCOMPARE(ApelidoServidor(Pasta(inst), servidor, &encerrar), apelidoDoServidor);
        QVERIFY(!encerrar);
        QCOMPARE(msgs.Textos(), QStringList());
    }

    // The dbExpress file against the entry in use, in a folder spelled with an accent: letter
    // case counts only where the switch upper-cases (ASCII); the entry the file names is found.
    void confereDbx_data() {
        QTest::addColumn<QString>("database"); // in the file's CARTÓRIO section
        QTest::addColumn<bool>("concorda");
        QTest::addColumn<QString>("outro");
        QTest::newRow("ASCII em minúsculas")
            << u"srv:\\veltogdb\\cartóriO\\cartorio.fdb"_qs << true << QString();
        QTest::newRow("Ó maiúsculo")
            << u"SRV:\\VELTOGDB\\CARTÓRIO\\CARTORIO.FDB"_qs << false << QString();
        QTest::newRow("o da outra")
            << u"outro:/veltogdb/cartório/cartorio.fdb"_qs << false << u"Outra"_qs;
    }
    void confereDbx() {
        QFETCH(QString, database);
        QFETCH(bool, concorda);
        QFETCH(QString, outro);
        Instalacao inst(u"Cartório"_qs);
        inst.Grava("CONEXOES.INI", Ini(u"[SRV]\nServidor=srv\nTipo=Windows\nStatus=A\n"
                                       u"[Outra]\nServidor=OUTRO\nTipo=Linux\n"_qs));
        inst.Grava("DBXCONNECTIONS.INI", Ini(u"[CARTÓRIO]\nDatabase=%1\n"_qs.arg(database)));
        const ConferenciaDbx c =
            ConfereDbx(Pasta(inst), u"CARTóRIO"_qs, CarregarConexoes(Pasta(inst), true).ativa);
        QCOMPARE(c.situacao == ConferenciaDbx::Situacao::Concorda, concorda);
        QCOMPARE(c.outro, outro);
    }

    void apelidoServidorIlegivel() {
        Instalacao inst;
        TornaIlegivel(inst, "CONEXOES.INI");
        GravadorMensagens msgs;
        bool encerrar = false;
        QCOMPARE(ApelidoServidor(Pasta(inst), "srv01", &encerrar), QString());
        QVERIFY(encerrar);
        encerrar = false;
        QCOMPARE(int(ConexaoExiste(Pasta(inst), "srv01", "MATRIZ", &encerrar)), 0);
        QVERIFY(encerrar);
        QCOMPARE(msgs.Textos(),
                 QStringList(2, QStringLiteral("Erro ao abrir o arquivo de conexões.")));
        QCOMPARE(msgs.Pedidos().at(0).icone, IconeMensagem::Erro);
    }

    void mudaConexaoAtiva_data() {
        QTest::addColumn<QString>("apelido");
        QTest::addColumn<bool>("resultado");
        QTest::addColumn<QByteArray>("depois");
        QTest::addColumn<QStringList>("apelidos");
        QTest::addColumn<int>("selecionado");
        const QString local = u"[LOCAL - C]\nServidor=C\nTipo=Windows\nAplicação=C:\\VELTO\n"_qs;
        const QString matriz =
            u"[MATRIZ]\nServidor=192.168.0.10\nTipo=Linux\nAplicação=\\\\MATRIZ\\VELTO\n"_qs;
        QTest::newRow("nome em minúsculas marca MATRIZ")
            << "matriz" << true << Ini(local + u"Status=I\n"_qs + matriz + u"Status=A\n"_qs)
            << QStringList{"LOCAL - C", "MATRIZ"} << 1;
        QTest::newRow("troca para a local")
            << "LOCAL - C" << true << Ini(local + u"Status=A\n"_qs + matriz + u"Status=I\n"_qs)
            << QStringList{"LOCAL - C", "MATRIZ"} << 0;
        QTest::newRow("apelido sem seção: seção só com Status=A")
            << "NOVA" << true
            << Ini(local + u"Status=I\n"_qs + matriz + u"Status=I\n[NOVA]\nStatus=A\n"_qs)
            << QStringList{"LOCAL - C", "MATRIZ", "NOVA"} << 2;
        QTest::newRow("vazio: nada")
            << "" << false << kDuasConexoes << QStringList{"LOCAL - C", "MATRIZ"} << 1;
        QTest::newRow("em branco: nada")
            << " \t " << false << kDuasConexoes << QStringList{"LOCAL - C", "MATRIZ"} << 1;
    }
    void mudaConexaoAtiva() {
        QFETCH(QString, apelido);
        QFETCH(bool, resultado);
        QFETCH(QByteArray, depois);
        QFETCH(QStringList, apelidos);
        QFETCH(int, selecionado);
        Instalacao inst;
        inst.Grava("CONEXOES.INI", kDuasConexoes);
        GravadorMensagens msgs;
        const ListaConexoes antes = CarregarConexoes(Pasta(inst), true);
        QCOMPARE(MudaConexaoAtiva(Pasta(inst), apelido, antes.espelho), resultado);
        QCOMPARE(inst.Le("CONEXOES.INI"), depois);
        const ListaConexoes l = CarregarConexoes(Pasta(inst), true);
        QCOMPARE(l.apelidos, apelidos);
        QCOMPARE(l.selecionado, selecionado);
        QCOMPARE(msgs.Textos(), QStringList());
    }

    void mudaSemArquivo() {
        Instalacao inst;
        QVERIFY(!MudaConexaoAtiva(Pasta(inst), "  ", {}));
        QVERIFY(!QFile::exists(inst.Caminho("CONEXOES.INI")));
        QVERIFY(MudaConexaoAtiva(Pasta(inst), "NOVA", {}));
        QCOMPARE(inst.Le("CONEXOES.INI"), Ini(u"[NOVA]\nStatus=A\n"_qs));
    }

    // The database location and application folder by edition, type and letter case.
    void alteraDbx_data() {
        QTest::addColumn<QString>("pasta");
        QTest::addColumn<QString>("servidor");
        QTest::addColumn<QString>("tipo");
        QTest::addColumn<QString>("aplicacao");
        QTest::addColumn<QString>("secao");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("servidorAplicacao");

        QTest::newRow("empresa linux") << "EMPRESA"
                                       << "192.168.0.10"
                                       << "Linux"
                                       << "/velto"
                                       << "EMPRESA"
                                       << "192.168.0.10:/VELTOGDB/EMPRESA/VELTO.FDB"
                                       << "/VELTO";
        QTest::newRow("empresa linux 10.0.0.5") << "EMPRESA"
                                                << "10.0.0.5"
                                                << "Linux"
                                                << "X"
                                                << "EMPRESA"
                                                << "10.0.0.5:/VELTOGDB/EMPRESA/VELTO.FDB"
                                                << "X";
        QTest::newRow("empresa windows") << "EMPRESA"
                                         << "SERVIDOR"
                                         << "Windows"
                                         << "\\\\S\\V"
                                         << "EMPRESA"
                                         << "SERVIDOR:\\VELTOGDB\\EMPRESA\\VELTO.FDB"
                                         << "\\\\S\\V";
        QTest::newRow("empresa local") << "EMPRESA"
                                       << "C"
                                       << "Windows"
                                       << "C:\\VELTO"
                                       << "EMPRESA"
                                       << "C:\\VELTOGDB\\EMPRESA\\VELTO.FDB"
                                       << "C:\\VELTO";
        QTest::newRow("cartorio linux")
            << "CARTORIO"
            << "192.168.0.10"
            << "Linux"
            << "/v" << u"CARTÓRIO"_qs << "192.168.0.10:/VELTOGDB/CARTORIO/CARTORIO.FDB"
            << "/V";
        QTest::newRow("cartorio windows")
            << "CARTORIO"
            << "SERVIDOR"
            << "Windows"
            << "v" << u"CARTÓRIO"_qs << "SERVIDOR:\\VELTOGDB\\CARTORIO\\CARTORIO.FDB"
            << "V";
        QTest::newRow("cartorio local")
            << "CARTORIO"
            << "D"
            << "Windows"
            << "D:\\V" << u"CARTÓRIO"_qs << "D:\\VELTOGDB\\CARTORIO\\CARTORIO.FDB"
            << "D:\\V";
        QTest::newRow("linux minúsculo dá barras invertidas")
            << "EMPRESA"
            << "10.0.0.5"
            << "linux"
            << "v"
            << "EMPRESA"
            << "10.0.0.5:\\VELTOGDB\\EMPRESA\\VELTO.FDB"
            << "V";
        QTest::newRow("tipo vazio dá barras invertidas") << "EMPRESA"
                                                         << "S"
                                                         << ""
                                                         << "v"
                                                         << "EMPRESA"
                                                         << "S:\\VELTOGDB\\EMPRESA\\VELTO.FDB"
                                                         << "V";
        QTest::newRow("servidor minúsculo") << "EMPRESA"
                                            << "srv01"
                                            << "Windows"
                                            << "v"
                                            << "EMPRESA"
                                            << "SRV01:\\VELTOGDB\\EMPRESA\\VELTO.FDB"
                                            << "V";
        QTest::newRow("pasta de 8 letras é cartório")
            << "CARTORI2"
            << "S"
            << "Windows"
            << "v" << u"CARTÓRIO"_qs << "S:\\VELTOGDB\\CARTORI2\\CARTORIO.FDB"
            << "V";
        QTest::newRow("pasta Cartório acentuada")
            << u"CARTóRIO"_qs << "S"
            << "Linux"
            << "v" << u"CARTÓRIO"_qs << u"S:/VELTOGDB/CARTóRIO/CARTORIO.FDB"_qs << "V";
        QTest::newRow("pasta de nenhuma edição") << "SUITE"
                                                 << "S"
                                                 << "Windows"
                                                 << "v"
                                                 << "EMPRESA"
                                                 << "S:\\VELTOGDB\\SUITE\\VELTO.FDB"
                                                 << "V";
        QTest::newRow("acentos da aplicação ficam")
            << "EMPRESA"
            << "S"
            << "Windows" << u"c:\\aplicação\\é"_qs << "EMPRESA"
            << "S:\\VELTOGDB\\EMPRESA\\VELTO.FDB" << u"C:\\APLICAçãO\\é"_qs;
    }
    void alteraDbx() {
        QFETCH(QString, pasta);
        QFETCH(QString, servidor);
        QFETCH(QString, tipo);
        QFETCH(QString, aplicacao);
        QFETCH(QString, secao);
        QFETCH(QString, database);
        QFETCH(QString, servidorAplicacao);
        Instalacao inst(pasta);
        inst.Grava("CONEXOES.INI", Ini(u"[ALVO]\nServidor="_qs + servidor + u"\nTipo="_qs + tipo +
                                       u"\nAplicação="_qs + aplicacao + u"\nStatus=A\n"_qs));
        GravadorMensagens msgs;
        QVERIFY(AlteraDBXConnection(Pasta(inst), pasta, "alvo"));
        QCOMPARE(msgs.Textos(), QStringList());
        // A missing file gets just the section and the two keys.
        QCOMPARE(inst.Le("DBXCONNECTIONS.INI"),
                 Ini(u'[' + secao + u"]\nDatabase="_qs + database + u"\nServidor Aplicação="_qs +
                     servidorAplicacao + u'\n'));
    }

    void alteraDbxMantemOResto() {
        Instalacao inst("CARTORIO");
        inst.Grava("CONEXOES.INI", kDuasConexoes);
        const QString inicio = u"; dbExpress\r\n[EMPRESA]\r\nDriverName=Interbase\r\n"
                               u"Database=C:\\VELTOGDB\\EMPRESA\\VELTO.FDB\r\n"
                               u"[cartÓrio]\r\nDriverName = Interbase\r\n"
                               u"User_Name=SYSDBA\r\nDATABASE=velho:/x\r\n"
                               u"SQLDialect=3\r\n\r\n[Outra]\nServidor Aplicação=fica\n"_qs;
        inst.Grava("DBXCONNECTIONS.INI", ParaWindows1252(inicio));
        GravadorMensagens msgs;
        QVERIFY(AlteraDBXConnection(Pasta(inst), "CARTORIO", "MATRIZ"));
        QString esperado = inicio;
        esperado.replace(u"DATABASE=velho:/x"_qs,
                         u"DATABASE=192.168.0.10:/VELTOGDB/CARTORIO/CARTORIO.FDB"_qs);
        esperado.replace(u"SQLDialect=3\r\n"_qs,
                         u"SQLDialect=3\r\nServidor Aplicação=\\\\MATRIZ\\VELTO\r\n"_qs);
        QCOMPARE(inst.Le("DBXCONNECTIONS.INI"), ParaWindows1252(esperado));
        QCOMPARE(msgs.Textos(), QStringList());
    }

    void alteraDbxFalhas_data() {
        QTest::addColumn<QString>("caso");
        QTest::addColumn<QString>("mensagem");
        QTest::newRow("conexões ilegível") << "conexoes-ilegivel" << kErroConexoes;
        QTest::newRow("dbx somente leitura") << "dbx-leitura" << kErroDbx;
        QTest::newRow("dbx ilegível") << "dbx-ilegivel" << kErroDbx;
        QTest::newRow("pasta somente leitura") << "pasta-leitura" << kErroDbx;
    }
    void alteraDbxFalhas() {
        QFETCH(QString, caso);
        QFETCH(QString, mensagem);
        if (caso.startsWith(QLatin1String("pasta")) && !PastaSomenteLeituraImpedeEscrita())
            QSKIP("no Windows, uma pasta somente leitura ainda aceita arquivos novos");
        Instalacao inst;
        const QByteArray dbx = Ini(u"[EMPRESA]\nDriverName=Interbase\nDatabase=antigo\n"_qs);
        if (caso == QLatin1String("conexoes-ilegivel"))
            TornaIlegivel(inst, "CONEXOES.INI");
        else
            inst.Grava("CONEXOES.INI", kDuasConexoes);
        if (caso == QLatin1String("dbx-ilegivel"))
            TornaIlegivel(inst, "DBXCONNECTIONS.INI");
        else
            inst.Grava("DBXCONNECTIONS.INI", dbx);
        const QString travado = caso == QLatin1String("dbx-leitura")
                                    ? inst.Caminho("DBXCONNECTIONS.INI")
                                    : inst.Pasta();
        const bool trava = caso.endsWith(QLatin1String("-leitura"));
        if (trava)
            TiraEscrita(travado);
        GravadorMensagens msgs;
        QVERIFY(!AlteraDBXConnection(Pasta(inst), "EMPRESA", "MATRIZ"));
        if (trava)
            DevolveEscrita(travado);
        QCOMPARE(msgs.Textos(), QStringList{mensagem});
        QCOMPARE(msgs.Pedidos().at(0).titulo, QStringLiteral("Gerenciador"));
        QCOMPARE(msgs.Pedidos().at(0).icone, IconeMensagem::Erro);
        if (caso != QLatin1String("dbx-ilegivel"))
            QCOMPARE(inst.Le("DBXCONNECTIONS.INI"), dbx);
        QCOMPARE(QDir(inst.Pasta()).entryList(QDir::Files | QDir::Hidden).size(),
                 caso == QLatin1String("dbx-ilegivel") || caso == QLatin1String("conexoes-ilegivel")
                     ? 1
                     : 2);
    }

    void alteraDbxApelidoEmBranco() {
        Instalacao inst;
        inst.Grava("CONEXOES.INI", kDuasConexoes);
        QVERIFY(!AlteraDBXConnection(Pasta(inst), "EMPRESA", " "));
        QVERIFY(!QFile::exists(inst.Caminho("DBXCONNECTIONS.INI")));
    }

    // The road of a switch made in the main window: load, switch, reload, rewrite.
    void trocaCompleta() {
        Instalacao inst;
        inst.Grava("CONEXOES.INI", kDuasConexoes);
        GravadorMensagens msgs;
        ListaConexoes l = CarregarConexoes(Pasta(inst), true);
        QCOMPARE(l.selecionado, 1);
        QVERIFY(MudaConexaoAtiva(Pasta(inst), l.espelho.at(0), l.espelho));
        l = CarregarConexoes(Pasta(inst), true);
        QCOMPARE(l.selecionado, 0);
        QVERIFY(AlteraDBXConnection(Pasta(inst), "EMPRESA", l.apelidos.at(l.selecionado)));
        QCOMPARE(inst.Le("DBXCONNECTIONS.INI"),
                 Ini(u"[EMPRESA]\nDatabase=C:\\VELTOGDB\\EMPRESA\\VELTO.FDB\n"
                     u"Servidor Aplicação=C:\\VELTO\n"_qs));
        const auto c = LeConexao(Pasta(inst), "local - c");
        QVERIFY(c.has_value());
        QCOMPARE(c->status, QStringLiteral("A"));
        QCOMPARE(c->aplicacao, QStringLiteral("C:\\VELTO"));
        QCOMPARE(msgs.Textos(), QStringList());
    }

    // Line breaks typed or pasted into a field never add sections or keys to the registry.
    void quebrasDeLinhaNaoInjetam() {
        Instalacao inst;
        GravadorMensagens msgs;
        QCOMPARE(IncluiConexao(Pasta(inst), "NOVA]\r\n[OUTRA", "10.0.0.5\r\nStatus=A", "Linux\n[X]",
                               "C:\\V", "I\rTipo=Windows"),
                 Gravacao::Gravada);
        const ListaConexoes l = CarregarConexoes(Pasta(inst), true);
        QCOMPARE(l.apelidos.size(), 1);
        QCOMPARE(l.selecionado, -1);
        ArquivoIni ini(inst.Caminho("CONEXOES.INI"));
        QCOMPARE(ini.Chaves(l.apelidos.at(0)),
                 (QStringList{"Servidor", "Tipo", u"Aplicação"_qs, "Status"}));
        QCOMPARE(msgs.Textos(), QStringList());
    }

    // Binary rubbish in place of the registry: loads what it can, never crashes, and a switch
    // adds its marks without losing a section.
    void lixoBinario() {
        Instalacao inst;
        QByteArray lixo;
        quint32 x = 12345;
        for (int i = 0; i < (1 << 20); ++i) {
            x = x * 1103515245u + 12345u;
            lixo.append(char(x >> 24));
        }
        inst.Grava("CONEXOES.INI", lixo);
        GravadorMensagens msgs;
        const ListaConexoes l = CarregarConexoes(Pasta(inst), true);
        QVERIFY(l.leituraOk);
        QVERIFY(MudaConexaoAtiva(Pasta(inst), "NOVA", l.espelho));
        const ListaConexoes n = CarregarConexoes(Pasta(inst), true);
        QVERIFY(!l.apelidos.isEmpty());
        QCOMPARE(n.apelidos.size(), l.apelidos.size() + 1);
        QVERIFY(n.selecionado >= 0);
        QCOMPARE(n.apelidos.at(n.selecionado), QStringLiteral("NOVA"));
        QCOMPARE(msgs.Textos(), QStringList());
    }

    // A hand-edited file with hundreds of sections and odd lines loads without losses.
    void arquivoGrandeEEstranho() {
        Instalacao inst;
        QByteArray bytes("\xEF\xBB\xBFlixo antes\r\n[sem fim\r\n");
        for (int i = 999; i >= 0; --i)
            bytes += "[S" + QByteArray::number(i).rightJustified(4, '0') +
                     "]\nStatus=" + (i == 500 || i == 900 ? "A" : "I") + "\r\n";
        inst.Grava("CONEXOES.INI", bytes);
        GravadorMensagens msgs;
        const ListaConexoes l = CarregarConexoes(Pasta(inst), true);
        QCOMPARE(l.apelidos.size(), 1000);
        QCOMPARE(l.apelidos.first(), QStringLiteral("S0000"));
        QCOMPARE(l.selecionado, 500);
        QCOMPARE(msgs.Textos(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TstRegistroConexoes)
#include "tst_registroconexoes.moc"
