#include "menu/ServicosFirebird.h"

#include <QRandomGenerator>
#include <QTest>
#include <memory>

// Parameter blocks and answers of the Services API, byte by byte, without a server.

namespace {

QByteArray H(const char* hex) {
    return QByteArray::fromHex(hex);
}

// A copy of `bytes` in a heap block of exactly that size, so that a read past its end is
// caught by AddressSanitizer (a QByteArray keeps a terminating zero after its data).
class Exato {
public:
    explicit Exato(const QByteArray& bytes)
        : dados_(new char[size_t(std::max<qsizetype>(bytes.size(), 1))]), tamanho_(bytes.size()) {
        std::copy(bytes.begin(), bytes.end(), dados_.get());
    }
    QByteArrayView Vista() const { return QByteArrayView(dados_.get(), tamanho_); }

private:
    std::unique_ptr<char[]> dados_;
    qsizetype tamanho_;
};

// One record as the server writes it.
QByteArray Registro(const UsuarioFirebird& u) {
    QByteArray r;
    auto texto = [&r](char tag, const QByteArray& v) {
        r.append(tag);
        r.append(char(v.size() & 0xFF));
        r.append(char(v.size() >> 8));
        r.append(v);
    };
    auto numero = [&r](char tag, qint32 v) {
        r.append(tag);
        for (int i = 0; i < 4; ++i)
            r.append(char((quint32(v) >> (8 * i)) & 0xFF));
    };
    texto(7, u.UserName);
    texto(10, u.FirstName);
    texto(11, u.MiddleName);
    texto(12, u.LastName);
    numero(5, u.UserID);
    numero(6, u.GroupID);
    numero(13, u.Admin);
    return r;
}

// One answer of the query holding `pedaco`, ended by isc_info_end.
QByteArray Resposta(const QByteArray& pedaco) {
    QByteArray r;
    r.append(char(0x44));
    r.append(char(pedaco.size() & 0xFF));
    r.append(char(pedaco.size() >> 8));
    r.append(pedaco);
    r.append(char(0x01));
    return r;
}

QList<UsuarioFirebird> Exemplo() {
    UsuarioFirebird sysdba;
    sysdba.UserName = "SYSDBA";
    sysdba.Admin = 1;
    UsuarioFirebird velto;
    velto.UserName = "velto";
    velto.FirstName = "Vestranox";
    velto.LastName = "Zidiredavaz";
    velto.UserID = 1000;
    velto.GroupID = -2;
    UsuarioFirebird acentos;
    acentos.UserName = "JOS\xC9";
    acentos.MiddleName = QByteArray(300, 'm'); // a length above 255 needs both bytes
    UsuarioFirebird vazio;                     // a record whose name is empty
    return {sysdba, velto, acentos, vazio};
}

QByteArray Serializa(const QList<UsuarioFirebird>& usuarios) {
    QByteArray dados;
    for (const UsuarioFirebird& u : usuarios)
        dados += Registro(u);
    return dados;
}

} // namespace

Q_DECLARE_METATYPE(PedacoUsuarios)
Q_DECLARE_METATYPE(QList<UsuarioFirebird>)

class TstServicosFirebird : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void blocoAnexacao_data() {
        QTest::addColumn<QStringList>("parametros");
        QTest::addColumn<int>("tempoLimite");
        QTest::addColumn<bool>("valido");
        QTest::addColumn<QByteArray>("bloco");
        const QStringList sistema{"user_name=SYSDBA", "password=plumbvext"};
        QTest::newRow("administrador")
            << sistema << 0 << true << H("0202 1c06") + "SYSDBA" + H("1d09") + "plumbvext";
        QTest::newRow("com tempo limite")
            << sistema << 10 << true
            << H("0202 1c06") + "SYSDBA" + H("1d09") + "plumbvext" + H("3904 0a000000");
        QTest::newRow("tempo little-endian")
            << QStringList{} << 0x01020304 << true << H("0202 3904 04030201");
        QTest::newRow("sem parâmetros") << QStringList{} << 0 << true << H("0202");
        QTest::newRow("nome sem caixa e brancos, linha vazia")
            << QStringList{" User_Name =ab", "", "PASSWORD=x"} << 0 << true
            << H("0202 1c02") + "ab" + H("1d01") + "x";
        QTest::newRow("= no valor")
            << QStringList{"password=a=b "} << 0 << true << H("0202 1d04") + "a=b ";
        QTest::newRow("senha vazia") << QStringList{"password="} << 0 << true << H("0202 1d00");
        QTest::newRow("Windows-1252")
            << QStringList{u"password=ção"_qs} << 0 << true << H("0202 1d03 e7e36f");
        QTest::newRow("255 bytes") << QStringList{"password=" + QString(255, u'p')} << 0 << true
                                   << H("0202 1dff") + QByteArray(255, 'p');
        QTest::newRow("256 bytes")
            << QStringList{"password=" + QString(256, u'p')} << 0 << false << QByteArray();
        QTest::newRow("nome desconhecido")
            << QStringList{"role_name=x"} << 0 << false << QByteArray();
        QTest::newRow("sem =") << QStringList{"user_name SYSDBA"} << 0 << false << QByteArray();
    }
    void blocoAnexacao() {
        QFETCH(QStringList, parametros);
        QFETCH(int, tempoLimite);
        QFETCH(bool, valido);
        QFETCH(QByteArray, bloco);
        const std::optional<QByteArray> obtido = MontaBlocoAnexacao(parametros, tempoLimite);
        QCOMPARE(obtido.has_value(), valido);
        if (valido)
            QCOMPARE(obtido->toHex(' '), bloco.toHex(' '));
    }

    void pedidoExibeUsuarios() { QCOMPARE(MontaPedidoExibeUsuarios(), H("07")); }

    void pedidoIncluiUsuario_data() {
        QTest::addColumn<UsuarioFirebird>("usuario");
        QTest::addColumn<QByteArray>("senha");
        QTest::addColumn<bool>("valido");
        QTest::addColumn<QByteArray>("bloco");

        UsuarioFirebird velto;
        velto.UserName = "VELTO";
        velto.FirstName = "Vestranox";
        velto.LastName = "Zidiredavaz";
        QTest::newRow("VELTO, nome do meio vazio fica de fora")
            << velto << QByteArray("dravonel") << true
            << H("04 070500") + "VELTO" + H("05 00000000 06 00000000 080800") + "dravonel" +
                   H("0a0900") + "Vestranox" + H("0c0b00") + "Zidiredavaz";

        UsuarioFirebird completo = velto;
        completo.MiddleName = "M";
        completo.UserID = 0x01020304;
        completo.GroupID = -1;
        QTest::newRow("números little-endian e nome do meio")
            << completo << QByteArray("s") << true
            << H("04 070500") + "VELTO" + H("05 04030201 06 ffffffff 080100") + "s" + H("0a0900") +
                   "Vestranox" + H("0b0100") + "M" + H("0c0b00") + "Zidiredavaz";

        QTest::newRow("só números")
            << UsuarioFirebird{} << QByteArray() << true << H("04 05 00000000 06 00000000");

        UsuarioFirebird longo;
        longo.UserName = QByteArray(300, 'n');
        QTest::newRow("comprimento de dois bytes")
            << longo << QByteArray() << true
            << H("04 072c01") + QByteArray(300, 'n') + H("05 00000000 06 00000000");

        UsuarioFirebird demais;
        demais.FirstName = QByteArray(0x10000, 'f');
        QTest::newRow("texto acima de 65535") << demais << QByteArray() << false << QByteArray();

        UsuarioFirebird somaDemais;
        somaDemais.FirstName = QByteArray(0x8000, 'f');
        somaDemais.LastName = QByteArray(0x8000, 'l');
        QTest::newRow("bloco acima de 65535")
            << somaDemais << QByteArray() << false << QByteArray();
    }
    void pedidoIncluiUsuario() {
        QFETCH(UsuarioFirebird, usuario);
        QFETCH(QByteArray, senha);
        QFETCH(bool, valido);
        QFETCH(QByteArray, bloco);
        const std::optional<QByteArray> obtido = MontaPedidoIncluiUsuario(usuario, senha);
        QCOMPARE(obtido.has_value(), valido);
        if (valido)
            QCOMPARE(obtido->toHex(' '), bloco.toHex(' '));
    }

    void respostaUsuarios_data() {
        QTest::addColumn<QByteArray>("resposta");
        QTest::addColumn<bool>("valido");
        QTest::addColumn<PedacoUsuarios>("estado");
        QTest::addColumn<QByteArray>("dados");

        // Answers as Firebird 3 gave them (buffers of 40 and 16 bytes).
        const QByteArray sysdba =
            H("07 0600") + "SYSDBA" + H("0a0000 0b0000 0c0000 05 00000000 06 00000000");
        QTest::newRow("registro inteiro") << H("44 1c00") + sysdba + H("01 0000000000") << true
                                          << PedacoUsuarios::Dados << sysdba;
        QTest::newRow("pedaço cortado no meio do nome")
            << H("44 0b00 0706005359534442410a0001 00") << true << PedacoUsuarios::Dados
            << H("0706005359534442410a00");
        QTest::newRow("pedaço vazio: fim")
            << H("44 0000 01 000000") << true << PedacoUsuarios::Fim << QByteArray();
        // Firebird 3 answers so when the buffer has no room for data (5 bytes).
        QTest::newRow("pedaço vazio e ainda não: não é o fim")
            << H("44 0000 04 01") << true << PedacoUsuarios::NaoPronto << QByteArray();
        QTest::newRow("ainda não, pedaço vazio")
            << H("04 44 0000 01") << true << PedacoUsuarios::NaoPronto << QByteArray();
        QTest::newRow("dados e ainda não")
            << H("44 0100 aa 04 01") << true << PedacoUsuarios::Dados << H("aa");
        QTest::newRow("ainda não")
            << H("04 01") << true << PedacoUsuarios::NaoPronto << QByteArray();
        QTest::newRow("tempo esgotado")
            << H("40 01") << true << PedacoUsuarios::NaoPronto << QByteArray();
        QTest::newRow("bytes depois do fim ignorados")
            << H("44 0000 01 44 ffff") << true << PedacoUsuarios::Fim << QByteArray();

        const PedacoUsuarios x = PedacoUsuarios::Dados;
        QTest::newRow("vazia") << QByteArray() << false << x << QByteArray();
        QTest::newRow("só isc_info_end") << H("01") << false << x << QByteArray();
        QTest::newRow("isc_info_truncated") << H("44 0100 aa 02 01") << false << x << QByteArray();
        QTest::newRow("isc_info_error") << H("03 01") << false << x << QByteArray();
        QTest::newRow("item desconhecido") << H("45 0000 01") << false << x << QByteArray();
        QTest::newRow("comprimento além do buffer")
            << H("44 0500 aabb01") << false << x << QByteArray();
        QTest::newRow("comprimento cortado") << H("44 01") << false << x << QByteArray();
        QTest::newRow("sem isc_info_end") << H("44 0100 aa") << false << x << QByteArray();
    }
    void respostaUsuarios() {
        QFETCH(QByteArray, resposta);
        QFETCH(bool, valido);
        QFETCH(PedacoUsuarios, estado);
        QFETCH(QByteArray, dados);
        const QByteArray anterior = "antes";
        QByteArray acumulado = anterior;
        const Exato exato(resposta);
        const std::optional<PedacoUsuarios> obtido = LeRespostaUsuarios(exato.Vista(), acumulado);
        QCOMPARE(obtido.has_value(), valido);
        if (valido) {
            QCOMPARE(*obtido, estado);
            QCOMPARE(acumulado.toHex(' '), (anterior + dados).toHex(' '));
        } else {
            QCOMPARE(acumulado, anterior); // a bad answer adds nothing
        }
    }

    void interpretaUsuarios_data() {
        QTest::addColumn<QByteArray>("dados");
        QTest::addColumn<bool>("valido");
        QTest::addColumn<QList<UsuarioFirebird>>("usuarios");

        QTest::newRow("lista vazia") << QByteArray() << true << QList<UsuarioFirebird>{};
        const QList<UsuarioFirebird> exemplo = Exemplo();
        QTest::newRow("registros completos") << Serializa(exemplo) << true << exemplo;

        UsuarioFirebird grupo;
        grupo.UserName = "G";
        grupo.GroupName = "grp";
        QTest::newRow("nome do grupo, campos faltando")
            << H("07 0100 47 09 0300 677270") << true << QList<UsuarioFirebird>{grupo};

        UsuarioFirebird soNome;
        soNome.UserName = "A";
        QTest::newRow("só nomes") << H("07 0100 41 07 0000") << true
                                  << QList<UsuarioFirebird>{soNome, UsuarioFirebird{}};

        QTest::newRow("campo antes do nome")
            << H("0a 0100 41 07 0100 41") << false << QList<UsuarioFirebird>{};
        QTest::newRow("item desconhecido")
            << H("07 0100 41 0e 0100 41") << false << QList<UsuarioFirebird>{};
        QTest::newRow("texto cortado") << H("07 0500 4142") << false << QList<UsuarioFirebird>{};
        QTest::newRow("comprimento cortado") << H("07 01") << false << QList<UsuarioFirebird>{};
        QTest::newRow("número cortado")
            << H("07 0100 41 05 000000") << false << QList<UsuarioFirebird>{};
    }
    void interpretaUsuarios() {
        QFETCH(QByteArray, dados);
        QFETCH(bool, valido);
        QFETCH(QList<UsuarioFirebird>, usuarios);
        const Exato exato(dados);
        const std::optional<QList<UsuarioFirebird>> obtido = InterpretaUsuarios(exato.Vista());
        QCOMPARE(obtido.has_value(), valido);
        if (valido)
            QCOMPARE(*obtido, usuarios);
    }

    // The list cut into pieces of every size, as the server cuts it when the answer buffer is
    // small: joined again, it reads as the whole list.
    void pedacosDeTodosOsTamanhos() {
        const QList<UsuarioFirebird> usuarios = Exemplo();
        const QByteArray dados = Serializa(usuarios);
        for (qsizetype tamanho : {qsizetype(1), qsizetype(2), qsizetype(3), qsizetype(11),
                                  qsizetype(64), qsizetype(299), dados.size()}) {
            QByteArray juntos;
            for (qsizetype i = 0; i < dados.size(); i += tamanho) {
                const Exato resposta(Resposta(dados.mid(i, tamanho)));
                QCOMPARE(LeRespostaUsuarios(resposta.Vista(), juntos), PedacoUsuarios::Dados);
            }
            const Exato fim(Resposta({}));
            QCOMPARE(LeRespostaUsuarios(fim.Vista(), juntos), PedacoUsuarios::Fim);
            const std::optional<QList<UsuarioFirebird>> lidos = InterpretaUsuarios(juntos);
            QVERIFY2(lidos.has_value(), qPrintable(QString::number(tamanho)));
            QCOMPARE(*lidos, usuarios);
        }
    }

    // Every prefix of a good answer and of good data, and random bytes: each is read within
    // its bounds (AddressSanitizer watches) and a prefix of a list never reads as more users.
    void nadaAlemDoFim() {
        const QByteArray dados = Serializa(Exemplo());
        const QByteArray resposta = Resposta(dados.first(100));
        for (qsizetype n = 0; n < resposta.size(); ++n) {
            QByteArray acumulado;
            const Exato parte(resposta.first(n));
            QVERIFY2(!LeRespostaUsuarios(parte.Vista(), acumulado).has_value(),
                     qPrintable(QString::number(n)));
        }
        for (qsizetype n = 0; n <= dados.size(); ++n) {
            const Exato parte(dados.first(n));
            const std::optional<QList<UsuarioFirebird>> lidos = InterpretaUsuarios(parte.Vista());
            if (lidos)
                QVERIFY(lidos->size() <= Exemplo().size());
        }
        QRandomGenerator aleatorio(20261208);
        for (int i = 0; i < 5000; ++i) {
            QByteArray bytes(aleatorio.bounded(0, 40), '\0');
            for (char& b : bytes)
                b = char(aleatorio.bounded(256));
            if (i % 2 == 0 && !bytes.isEmpty())
                bytes[0] = char(0x44); // mostly plausible answers
            const Exato exato(bytes);
            QByteArray acumulado;
            LeRespostaUsuarios(exato.Vista(), acumulado);
            InterpretaUsuarios(exato.Vista());
            LeRespostaServicoAtivo(exato.Vista());
        }
    }

    void procuraUsuario_data() {
        QTest::addColumn<QByteArrayList>("nomes");
        QTest::addColumn<int>("posicao");
        QTest::newRow("igual") << QByteArrayList{"SYSDBA", "VELTO"} << 1;
        QTest::newRow("minúsculo") << QByteArrayList{"velto"} << 0;
        QTest::newRow("misto, o primeiro vale") << QByteArrayList{"x", "vElTo", "VELTO"} << 1;
        QTest::newRow("lista vazia") << QByteArrayList{} << -1;
        QTest::newRow("nome vazio") << QByteArrayList{""} << -1;
        QTest::newRow("prefixo e sufixo") << QByteArrayList{"VELT", "VELTOS", " VELTO"} << -1;
        QTest::newRow("O acentuado (Windows-1252) não é O") << QByteArrayList{"VELT\xD3"} << -1;
        QTest::newRow("o cirílico (UTF-8) não é o") << QByteArrayList{"velt\xD0\xBE"} << -1;
        QTest::newRow("byte zero no meio") << QByteArrayList{QByteArray("VEL\0TO", 6)} << -1;
    }
    void procuraUsuario() {
        QFETCH(QByteArrayList, nomes);
        QFETCH(int, posicao);
        QList<UsuarioFirebird> usuarios;
        for (const QByteArray& nome : nomes)
            usuarios.append(UsuarioFirebird{nome});
        QCOMPARE(ProcuraUsuario(usuarios, "VELTO"), qsizetype(posicao));
    }

    void servicoAtivo_data() {
        QTest::addColumn<QByteArray>("resposta");
        QTest::addColumn<bool>("valido");
        QTest::addColumn<bool>("ativo");
        QTest::newRow("parado") << H("43 00000000 01 00") << true << false;
        QTest::newRow("rodando") << H("43 01000000 01") << true << true;
        QTest::newRow("rodando, byte alto") << H("43 00000001 01") << true << true;
        QTest::newRow("número cortado") << H("43 000001") << false << false;
        QTest::newRow("sem isc_info_end") << H("43 00000000") << false << false;
        QTest::newRow("só isc_info_end") << H("01") << false << false;
        QTest::newRow("outro item") << H("44 0000 01") << false << false;
    }
    void servicoAtivo() {
        QFETCH(QByteArray, resposta);
        QFETCH(bool, valido);
        QFETCH(bool, ativo);
        const Exato exato(resposta);
        const std::optional<bool> obtido = LeRespostaServicoAtivo(exato.Vista());
        QCOMPARE(obtido.has_value(), valido);
        if (valido)
            QCOMPARE(*obtido, ativo);
    }
};

QTEST_GUILESS_MAIN(TstServicosFirebird)
#include "tst_servicosfirebird.moc"
