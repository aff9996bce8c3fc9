#include "conexoes/VerificaBanco.h"

#include "common/ArquivoIni.h"
#include "common/ClienteFirebird.h"
#include "common/ConstantesFirebird.h"
#include "common/Texto.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

namespace {

constexpr qsizetype kMaximoTexto = 400; // characters kept of what the server says
constexpr int kTamanhoResposta = 512;   // bytes of the version answer

// Every text the check shows. A line of a failure is followed by its next step. The marks in
// braces are replaced by the values of the check.
struct TextoBanco {
    CausaBanco causa;
    const char16_t* linha;
    const char16_t* passo; // null: the line alone
};
constexpr char16_t kPassoPorta[] =
    u"Próximo passo: confira se o Firebird está ativo no servidor e se o firewall libera a "
    u"porta {porta}.";
// Where the loader finds the client: installed with the Firebird client, or (on Windows, which
// looks in the executable's folder first) copied beside the program. The library must be of
// the program's own width: a 32-bit fbclient.dll does not load into a 64-bit program.
#if defined(_WIN32)
constexpr char16_t kPassoCliente[] =
    u"Próximo passo: instale nesta estação o cliente Firebird de {bits} bits, ou copie o "
    u"{cliente} de {bits} bits para a pasta do programa ({pasta}), e teste de novo.";
#else
constexpr char16_t kPassoCliente[] =
    u"Próximo passo: instale nesta estação o cliente Firebird de {bits} bits ({cliente}; no "
    u"Debian, o pacote libfbclient2) e teste de novo.";
#endif
constexpr TextoBanco kTextos[] = {
    {CausaBanco::SemArquivoDbx, u"Banco de dados: não foi possível ler o DBXCONNECTIONS.INI",
     nullptr},
    {CausaBanco::SemSecao,
     u"Banco de dados: a seção {secao} do DBXCONNECTIONS.INI não existe ou não tem Database",
     nullptr},
    {CausaBanco::SemCredenciais,
     u"Banco de dados {database}: a seção {secao} do DBXCONNECTIONS.INI não tem User_Name e "
     u"Password",
     nullptr},
    {CausaBanco::Conectado, u"Banco de dados {database}: conectado em {ms} ms, servidor {versao}",
     nullptr},
    {CausaBanco::ClienteAusente,
     u"Banco de dados {database}: o cliente Firebird ({cliente}) não está instalado nesta estação",
     kPassoCliente},
    {CausaBanco::NomeNaoResolve,
     u"Banco de dados {database}: o nome {host} não foi encontrado na rede",
     u"Próximo passo: confira o nome do servidor na conexão em uso, ou cadastre o servidor pelo "
     u"endereço IP."},
    {CausaBanco::PortaFechada,
     u"Banco de dados {database}: {host} não aceita conexão na porta {porta} do Firebird",
     kPassoPorta},
    {CausaBanco::PortaFechadaJaDita,
     u"Banco de dados {database}: sem conexão com o Firebird (veja a linha da porta acima)",
     kPassoPorta},
    {CausaBanco::SemResposta,
     u"Banco de dados {database}: {host} não respondeu como servidor Firebird na porta {porta}",
     u"Próximo passo: confira se a porta {porta} é a do Firebird e se nenhum firewall retém a "
     u"conexão."},
    {CausaBanco::LoginRecusado,
     u"Banco de dados {database}: o servidor recusou o usuário {usuario} ou a senha",
     u"Próximo passo: confira o usuário da suíte no servidor e a senha no DBXCONNECTIONS.INI; "
     u"num servidor local, crie o usuário em \"Config Caixa Off Line\"."},
    {CausaBanco::ArquivoNaoEncontrado,
     u"Banco de dados {database}: o arquivo {caminho} não existe no servidor",
     u"Próximo passo: confira se o banco está nessa pasta do servidor, ou escolha o servidor "
     u"certo em \"Servidor em uso\"."},
    {CausaBanco::CriptografiaRecusada,
     u"Banco de dados {database}: o servidor recusou a criptografia ou a autenticação deste "
     u"cliente Firebird",
     u"Próximo passo: instale nesta estação o cliente Firebird da versão do servidor (3.0 ou mais "
     u"nova), ou ajuste WireCrypt e AuthServer no firebird.conf do servidor."},
    {CausaBanco::Outra, u"Banco de dados {database}: o servidor respondeu: {texto}",
     u"Próximo passo: anote a mensagem acima e procure o suporte."},
};

QString Limita(QString texto) {
    texto = texto.simplified();
    if (texto.size() > kMaximoTexto)
        texto = texto.first(kMaximoTexto) + QStringLiteral("...");
    return texto;
}

// A string argument of the status vector, read within a bound.
QString TextoDoVetor(const char* p, std::size_t tamanho) {
    if (!p)
        return {};
    tamanho = ::strnlen(p, qMin<std::size_t>(tamanho, 1024));
    return QString::fromLocal8Bit(p, qsizetype(tamanho));
}

// What the server said, line by line through the client (bounded).
QString TextoDoServidor(const ClienteFirebird& cliente, const fb::IscStatus* status) {
    if (!cliente.fb_interpret)
        return QStringLiteral("código %1").arg(status[1]);
    QStringList linhas;
    const fb::IscStatus* vetor = status;
    char linha[512];
    for (int i = 0; i < 8 && cliente.fb_interpret(linha, sizeof linha, &vetor) > 0; ++i) {
        linha[sizeof linha - 1] = '\0';
        linhas.append(QString::fromLocal8Bit(linha));
    }
    return Limita(linhas.join(QStringLiteral(" / ")));
}

bool Falhou(const fb::IscStatus* status) {
    return status[0] == fb::isc_arg_gds && status[1] != 0;
}

// The cause from the error codes of a failed attach; `arquivo` gets the file of an I/O error.
CausaBanco Classifica(const fb::IscStatus* status, QString* arquivo) {
    std::vector<fb::IscStatus> codigos;
    QStringList textos; // the string arguments, in order
    for (int i = 0; i + 1 < fb::TamanhoVetorStatus && status[i] != fb::isc_arg_end;) {
        const fb::IscStatus tipo = status[i];
        if (tipo == fb::isc_arg_cstring) {
            if (i + 2 >= fb::TamanhoVetorStatus)
                break;
            textos.append(TextoDoVetor(reinterpret_cast<const char*>(status[i + 2]),
                                       std::size_t(status[i + 1])));
            i += 3;
            continue;
        }
        if (tipo == fb::isc_arg_gds)
            codigos.push_back(status[i + 1]);
        else if (tipo == fb::isc_arg_string || tipo == fb::isc_arg_interpreted ||
                 tipo == fb::isc_arg_sql_state)
            textos.append(TextoDoVetor(reinterpret_cast<const char*>(status[i + 1]), 1024));
        i += 2;
    }
    const auto tem = [&](fb::IscStatus codigo) {
        return std::find(codigos.begin(), codigos.end(), codigo) != codigos.end();
    };
    if (tem(fb::isc_host_unknown) || tem(fb::isc_net_lookup_err))
        return CausaBanco::NomeNaoResolve;
    for (const fb::IscStatus c :
         {fb::isc_wirecrypt_incompatible, fb::isc_miss_wirecrypt, fb::isc_wirecrypt_key,
          fb::isc_wirecrypt_plugin, fb::isc_auth_data, fb::isc_auth_datalength,
          fb::isc_auth_handshake_limit, fb::isc_login_error})
        if (tem(c))
            return CausaBanco::CriptografiaRecusada;
    if (tem(fb::isc_login))
        return CausaBanco::LoginRecusado;
    if (tem(fb::isc_io_error) && tem(fb::isc_io_open_err)) {
        // "open", then the file; the reason is the server's system text. Only a missing file
        // (or folder) is this cause; a file the server may not open keeps the server's words.
        if (textos.size() >= 2)
            *arquivo = Limita(textos[1]);
        for (const QString& t : textos)
            if (t.contains(QLatin1String("No such file"), Qt::CaseInsensitive) ||
                t.contains(QLatin1String("cannot find"), Qt::CaseInsensitive))
                return CausaBanco::ArquivoNaoEncontrado;
        return CausaBanco::Outra;
    }
    if (tem(fb::isc_connect_reject))
        return CausaBanco::SemResposta;
    if (tem(fb::isc_network_error) && tem(fb::isc_net_connect_err))
        return CausaBanco::PortaFechada;
    return CausaBanco::Outra;
}

// The database parameter block: user, password and the connect time-out; for SrpCifrada also
// the client's plugin list and configuration for this attach alone (fbclient 3 honours both
// per attach).
std::optional<QByteArray> BlocoBanco(const BancoDbx& banco, int tempoLimiteS,
                                     Autenticacao autenticacao) {
    QByteArray bloco(1, char(fb::isc_dpb_version1));
    for (const auto& [tag, valor] : {std::pair{fb::isc_dpb_user_name, &banco.usuario},
                                     std::pair{fb::isc_dpb_password, &banco.senha}}) {
        const QByteArray bytes = ParaWindows1252(*valor);
        if (bytes.size() > 255)
            return std::nullopt;
        bloco += char(tag);
        bloco += char(bytes.size());
        bloco += bytes;
    }
    bloco += char(fb::isc_dpb_connect_timeout);
    bloco += char(4);
    for (int i = 0; i < 4; ++i)
        bloco += char((quint32(tempoLimiteS) >> (8 * i)) & 0xFF);
    if (autenticacao == Autenticacao::SrpCifrada) {
        for (const auto& [tag, valor] :
             {std::pair<std::uint8_t, QByteArrayView>{fb::isc_dpb_auth_plugin_list, "Srp256,Srp"},
              {fb::isc_dpb_config, "AuthClient=Srp256,Srp\nWireCrypt=Required"}}) {
            bloco += char(tag);
            bloco += char(valor.size());
            bloco += valor;
        }
    }
    return bloco;
}

QAtomicInt emCurso;

class ThBanco : public QThread {
public:
    ThBanco(BancoDbx banco, QString biblioteca, int tempoLimiteS)
        : QThread(QCoreApplication::instance()), banco_(std::move(banco)),
          biblioteca_(std::move(biblioteca)), tempoLimiteS_(tempoLimiteS) {
        emCurso.ref();
    }
    // The program ends while the attach runs: wait for it (bounded by the time-out) rather
    // than destroy a running thread. Counted until here, after its result was handed over.
    ~ThBanco() override {
        wait();
        emCurso.deref();
    }

    ResultadoBanco resultado;

protected:
    void run() override { resultado = AnexaBanco(banco_, biblioteca_, tempoLimiteS_); }

private:
    const BancoDbx banco_;
    const QString biblioteca_;
    const int tempoLimiteS_;
};

} // namespace

EnderecoBanco InterpretaDatabase(const QString& database) {
    EnderecoBanco e;
    e.porta = QStringLiteral("3050");
    QString resto = database.trimmed();
    // The URL form: inet://host[:port]/path.
    for (const char* prefixo : {"inet://", "inet4://", "inet6://"}) {
        if (!resto.startsWith(QLatin1String(prefixo), Qt::CaseInsensitive))
            continue;
        resto = resto.sliced(qsizetype(std::strlen(prefixo)));
        const qsizetype barra = resto.indexOf(u'/');
        QString servidor = barra < 0 ? resto : resto.first(barra);
        e.caminho = barra < 0 ? QString() : resto.sliced(barra + 1);
        const qsizetype doisPontos = servidor.lastIndexOf(u':');
        if (doisPontos > 0 && !servidor.endsWith(u']')) {
            e.porta = servidor.sliced(doisPontos + 1);
            servidor.truncate(doisPontos);
        }
        e.host = servidor;
        return e;
    }
    // host[/port]:path, an IPv6 address in brackets; one letter before the colon is a drive.
    qsizetype doisPontos = resto.indexOf(u':');
    if (resto.startsWith(u'[')) {
        const qsizetype fecha = resto.indexOf(u']');
        doisPontos = fecha < 0 ? -1 : resto.indexOf(u':', fecha);
    }
    if (doisPontos <= 1) {
        e.caminho = resto;
        e.porta.clear();
        return e;
    }
    QString servidor = resto.first(doisPontos);
    e.caminho = resto.sliced(doisPontos + 1);
    if (const qsizetype barra = servidor.lastIndexOf(u'/'); barra > 0) {
        e.porta = servidor.sliced(barra + 1);
        servidor.truncate(barra);
    }
    if (servidor.startsWith(u'[') && servidor.endsWith(u']'))
        servidor = servidor.sliced(1, servidor.size() - 2);
    e.host = servidor;
    return e;
}

std::optional<CausaBanco> LeBancoDbx(const QString& arquivo, const QString& secao,
                                     BancoDbx* banco) {
    const ArquivoIni ini(arquivo);
    if (!ini.LeituraOk())
        return CausaBanco::SemArquivoDbx;
    banco->database = ini.LeTexto(secao, QStringLiteral("Database"));
    banco->usuario = ini.LeTexto(secao, QStringLiteral("User_Name"));
    banco->senha = ini.LeTexto(secao, QStringLiteral("Password"));
    if (banco->database.isEmpty())
        return CausaBanco::SemSecao;
    if (banco->usuario.isEmpty() || banco->senha.isEmpty())
        return CausaBanco::SemCredenciais;
    return std::nullopt;
}

std::optional<QString> LeVersaoFirebird(QByteArrayView r) {
    if (r.size() < 5 || quint8(r[0]) != fb::isc_info_firebird_version)
        return std::nullopt;
    const qsizetype tamanho = quint8(r[1]) | (qsizetype(quint8(r[2])) << 8);
    if (3 + tamanho > r.size() || tamanho < 2 || quint8(r[3]) == 0)
        return std::nullopt;
    const qsizetype texto = quint8(r[4]);
    if (texto == 0 || 1 + texto > tamanho - 1)
        return std::nullopt;
    return Limita(DeWindows1252(r.sliced(5, texto)));
}

ResultadoBanco AnexaBanco(const BancoDbx& banco, const QString& biblioteca, int tempoLimiteS,
                          Autenticacao autenticacao) {
    ResultadoBanco r;
    QString motivo;
    const ClienteFirebird* cliente = CarregaClienteFirebird(biblioteca, &motivo);
    if (!cliente || !cliente->isc_attach_database || !cliente->isc_detach_database ||
        !cliente->isc_database_info) {
        r.causa = CausaBanco::ClienteAusente;
        r.detalhe = Limita(motivo);
        return r;
    }
    const QByteArray nome = ParaWindows1252(banco.database);
    const std::optional<QByteArray> bloco = BlocoBanco(banco, tempoLimiteS, autenticacao);
    if (!bloco || nome.size() > 0x7FFF) {
        r.detalhe = QStringLiteral("Database, User_Name ou Password longo demais");
        return r;
    }

    const PreservaSinais sinais;
    fb::IscStatus status[fb::TamanhoVetorStatus] = {};
    fb::Handle handle{};
    QElapsedTimer relogio;
    relogio.start();
    cliente->isc_attach_database(status, short(nome.size()), nome.constData(), &handle,
                                 short(bloco->size()), bloco->constData());
    if (Falhou(status)) {
        r.causa = Classifica(status, &r.detalhe);
        if (r.causa == CausaBanco::Outra)
            r.detalhe = TextoDoServidor(*cliente, status);
        return r;
    }
    r.ms = relogio.elapsed();

    const char itens[] = {char(fb::isc_info_firebird_version), char(fb::isc_info_end)};
    char resposta[kTamanhoResposta] = {};
    cliente->isc_database_info(status, &handle, short(sizeof itens), itens, short(sizeof resposta),
                               resposta);
    if (!Falhou(status))
        r.versao = LeVersaoFirebird(QByteArrayView(resposta, sizeof resposta)).value_or(QString());
    if (r.versao.isEmpty())
        r.versao = QStringLiteral("de versão não informada");
    cliente->isc_detach_database(status, &handle); // the attachment is gone either way
    r.causa = CausaBanco::Conectado;
    return r;
}

void VerificaBancoEmSegundoPlano(const BancoDbx& banco, const QString& biblioteca, int tempoLimiteS,
                                 QObject* contexto,
                                 std::function<void(const ResultadoBanco&)> aoTerminar) {
    auto* th = new ThBanco(banco, biblioteca, tempoLimiteS);
    // Queued to the context's thread; dropped with the connection when the context is gone.
    QObject::connect(th, &QThread::finished, contexto,
                     [th, aoTerminar = std::move(aoTerminar)] { aoTerminar(th->resultado); });
    QObject::connect(th, &QThread::finished, th, &QObject::deleteLater);
    th->start();
}

int VerificacoesBancoEmCurso() {
    return emCurso.loadAcquire();
}

QStringList FormataLinhasBanco(const ResultadoBanco& resultado, const BancoDbx& banco,
                               const QString& secao) {
    const auto* texto =
        std::find_if(std::begin(kTextos), std::end(kTextos),
                     [&](const TextoBanco& t) { return t.causa == resultado.causa; });
    if (texto == std::end(kTextos))
        return {};
    const EnderecoBanco destino = InterpretaDatabase(banco.database);
    const auto preenche = [&](const char16_t* modelo) {
        QString s = QString::fromUtf16(modelo);
        const std::pair<const char*, QString> marcas[] = {
            {"{database}", banco.database},
            {"{secao}", secao},
            {"{usuario}", banco.usuario},
            {"{host}", destino.host},
            {"{porta}", destino.porta},
            {"{caminho}", resultado.detalhe.isEmpty() ? destino.caminho : resultado.detalhe},
            {"{cliente}", NomeBibliotecaClienteFirebird()},
            {"{bits}", QString::number(QT_POINTER_SIZE * 8)},
            {"{pasta}", QDir::toNativeSeparators(QCoreApplication::applicationDirPath())},
            {"{texto}", resultado.detalhe},
            {"{versao}", resultado.versao},
            {"{ms}", resultado.ms > 0 ? QString::number(resultado.ms) : QStringLiteral("<1")},
        };
        // One pass, so that a value holding a mark is not replaced again.
        QString saida;
        for (qsizetype i = 0; i < s.size();) {
            bool trocou = false;
            for (const auto& [marca, valor] : marcas) {
                if (QStringView(s).sliced(i).startsWith(QLatin1String(marca))) {
                    saida += valor;
                    i += qsizetype(std::strlen(marca));
                    trocou = true;
                    break;
                }
            }
            if (!trocou)
                saida += s[i++];
        }
        return saida;
    };
    QStringList linhas{preenche(texto->linha)};
    if (texto->passo)
        linhas.append(preenche(texto->passo));
    return linhas;
}
