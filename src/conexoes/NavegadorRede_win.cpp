// The machines of the local network on Windows: as the shell shows them (the workgroups and
// domains of the Windows network with their servers (WNet, containers only), and the
// computers of the shell's network folder), and as the Linux browser finds them, with their
// addresses: WS-Discovery (DescobertaWs) and mDNS (DescobertaMdns, Windows 10 and later). A
// machine the shell lists by its NetBIOS name and another source by its host name is one
// machine when the names match without regard to letter case, under the shell's group.
// Enumerating the shell's lists can take seconds per host that does not answer, so it runs on
// a thread of its own, again every half minute; the window only picks up the finished lists.
#include "conexoes/DescobertaMdns.h"
#include "conexoes/DescobertaWs.h"
#include "conexoes/NavegadorRede.h"

#include <QSet>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// clang-format off
#include <windows.h>
#include <lm.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <winnetwk.h>
// clang-format on

namespace {

struct Achado {
    QString grupo;
    QString nome;
    int fonte = NavegadorRede::kRedeWindows; // kGrupoProprio: the group is our own
};

// What the enumerating thread and the browser share. The thread outlives the browser when an
// enumeration hangs: it only ever touches this.
struct Compartilhado {
    std::mutex trava;
    std::optional<std::vector<Achado>> pronto; // the last full list, not yet picked up
    std::atomic<bool> cancelado{false};
};

constexpr auto kIntervalo = std::chrono::seconds(30);
constexpr int kProfundidade = 3; // entire network -> provider -> domain -> server

QString SemBarras(const wchar_t* nome) {
    QString r = QString::fromWCharArray(nome ? nome : L"");
    while (r.startsWith(u'\\'))
        r.remove(0, 1);
    return r;
}

// The Windows network: providers, their domains and workgroups, and the servers in them.
void EnumeraWNet(NETRESOURCEW* pai, int nivel, const QString& grupo, std::vector<Achado>& saida,
                 const Compartilhado& estado) {
    HANDLE h = nullptr;
    if (WNetOpenEnumW(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEUSAGE_CONTAINER, pai, &h) !=
        NO_ERROR)
        return;
    std::vector<unsigned char> buffer(16 * 1024);
    while (!estado.cancelado) {
        DWORD quantos = DWORD(-1);
        DWORD tamanho = DWORD(buffer.size());
        const DWORD r = WNetEnumResourceW(h, &quantos, buffer.data(), &tamanho);
        if (r == ERROR_MORE_DATA) {
            buffer.resize(std::max<std::size_t>(tamanho, buffer.size() * 2));
            continue;
        }
        if (r != NO_ERROR)
            break;
        auto* itens = reinterpret_cast<NETRESOURCEW*>(buffer.data());
        for (DWORD i = 0; i < quantos && !estado.cancelado; ++i) {
            NETRESOURCEW& n = itens[i];
            if (n.dwDisplayType == RESOURCEDISPLAYTYPE_SERVER) {
                const QString nome = SemBarras(n.lpRemoteName);
                if (!nome.isEmpty())
                    saida.push_back({grupo, nome, NavegadorRede::kRedeWindows});
            } else if ((n.dwUsage & RESOURCEUSAGE_CONTAINER) && nivel < kProfundidade) {
                const QString sub = n.dwDisplayType == RESOURCEDISPLAYTYPE_DOMAIN
                                        ? SemBarras(n.lpRemoteName)
                                        : grupo;
                EnumeraWNet(&n, nivel + 1, sub, saida, estado);
            }
        }
    }
    WNetCloseEnum(h);
}

// Our own workgroup or domain: the group shown for computers the shell lists without one.
QString GrupoProprio() {
    LPWSTR nome = nullptr;
    NETSETUP_JOIN_STATUS tipo = NetSetupUnknownStatus;
    QString r;
    if (NetGetJoinInformation(nullptr, &nome, &tipo) == NERR_Success && nome)
        r = QString::fromWCharArray(nome);
    if (nome)
        NetApiBufferFree(nome);
    return r.isEmpty() ? QStringLiteral("WORKGROUP") : r;
}

// The computers of the shell's network folder (\\NAME items).
void EnumeraPastaRede(std::vector<Achado>& saida, const Compartilhado& estado) {
    PIDLIST_ABSOLUTE pidl = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_NETWORK, &pidl)))
        return;
    IShellFolder* desktop = nullptr;
    IShellFolder* rede = nullptr;
    if (SUCCEEDED(SHGetDesktopFolder(&desktop)) &&
        SUCCEEDED(desktop->BindToObject(pidl, nullptr, IID_PPV_ARGS(&rede)))) {
        IEnumIDList* itens = nullptr;
        const QString grupo = GrupoProprio();
        if (rede->EnumObjects(nullptr, SHCONTF_FOLDERS, &itens) == S_OK && itens) {
            PITEMID_CHILD item = nullptr;
            while (!estado.cancelado && itens->Next(1, &item, nullptr) == S_OK) {
                STRRET s{};
                wchar_t texto[MAX_PATH] = {};
                if (SUCCEEDED(rede->GetDisplayNameOf(item, SHGDN_FORPARSING, &s)) &&
                    SUCCEEDED(StrRetToBufW(&s, item, texto, MAX_PATH))) {
                    const QString caminho = QString::fromWCharArray(texto);
                    // A computer's parsing name is \\NAME; other folders (media servers,
                    // devices) are not machines.
                    if (caminho.startsWith(QLatin1String("\\\\")) &&
                        !caminho.mid(2).contains(u'\\'))
                        saida.push_back({grupo, caminho.mid(2), NavegadorRede::kGrupoProprio});
                }
                CoTaskMemFree(item);
            }
            itens->Release();
        }
        rede->Release();
    }
    if (desktop)
        desktop->Release();
    CoTaskMemFree(pidl);
}

void Enumera(std::shared_ptr<Compartilhado> estado) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    while (!estado->cancelado) {
        std::vector<Achado> achados;
        EnumeraWNet(nullptr, 0, QString(), achados, *estado);
        EnumeraPastaRede(achados, *estado);
        {
            const std::lock_guard<std::mutex> trava(estado->trava);
            estado->pronto = std::move(achados);
        }
        for (auto espera = std::chrono::milliseconds(0); espera < kIntervalo && !estado->cancelado;
             espera += std::chrono::milliseconds(100))
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (SUCCEEDED(com))
        CoUninitialize();
}

class NavegadorRedeWindows : public NavegadorRede {
public:
    explicit NavegadorRedeWindows(QObject* pai) : NavegadorRede(pai) {}
    // The sources go first, while the list they report to still exists.
    ~NavegadorRedeWindows() override {
        if (estado_)
            estado_->cancelado = true;
        mdns_.reset();
        delete ws_;
    }

    void Inicia() override {
        if (estado_)
            return;
        estado_ = std::make_shared<Compartilhado>();
        std::thread(Enumera, estado_).detach();
        auto* recolhe = new QTimer(this);
        connect(recolhe, &QTimer::timeout, this, [this] { Recolhe(); });
        recolhe->start(200);
        ws_ = IniciaDescobertaWs();
        mdns_ = std::make_unique<DescobertaMdns>(this);
        mdns_->Inicia();
    }

private:
    void Recolhe() {
        std::optional<std::vector<Achado>> lista;
        {
            const std::lock_guard<std::mutex> trava(estado_->trava);
            lista.swap(estado_->pronto);
        }
        if (!lista)
            return;
        QSet<QString> agora;
        for (const Achado& a : *lista) {
            const QString chave = QStringLiteral("win:%1:").arg(a.fonte) + a.grupo + u'/' + a.nome;
            agora.insert(chave);
            if (!vistas_.contains(chave))
                Avista(chave, a.nome, a.grupo, a.fonte);
        }
        for (const QString& chave : std::as_const(vistas_))
            if (!agora.contains(chave))
                Perde(chave);
        vistas_ = agora;
    }

    std::shared_ptr<Compartilhado> estado_;
    QSet<QString> vistas_;
    DescobertaWs* ws_ = nullptr;
    std::unique_ptr<DescobertaMdns> mdns_;
};

} // namespace

std::unique_ptr<NavegadorRede> CriaNavegadorRedePlataforma(QObject* pai) {
    return std::make_unique<NavegadorRedeWindows>(pai);
}
