#pragma once

#include <QtGlobal>
#include <memory>
#include <optional>

class NavegadorRede;
class QThread;

// Windows only (DescobertaMdns_win.cpp): the machines that announce themselves over mDNS, as
// Windows 10 and later browse them (dnsapi's DnsServiceBrowse and DnsServiceResolve, loaded at
// run time; an older Windows, or Wine, lacks them and the source stays silent, saying so once
// in the log). It browses the workstation and SMB services, resolves each instance found (a
// few at a time) and reports the host to the list as the sighting "mdns:<instance>", in the
// domain "local", at the IPv4 address of the resolved record. dnsapi calls back on threads of
// its own: what it says goes to a thread of this source, which alone calls dnsapi, and from
// there to the list's thread in batches. Whatever dnsapi does (it may never call back), the
// source ends without waiting: its queries are cancelled on its thread, which ends once they
// are, and a call back that comes later finds no query and is dropped.
class DescobertaMdns {
public:
    // The dnsapi functions used, as GetProcAddress gives them.
    struct Funcoes {
        using Funcao = void (*)();
        Funcao navega = nullptr;           // DnsServiceBrowse
        Funcao cancelaNavegacao = nullptr; // DnsServiceBrowseCancel
        Funcao resolve = nullptr;          // DnsServiceResolve
        Funcao cancelaResolucao = nullptr; // DnsServiceResolveCancel
        Funcao liberaInstancia = nullptr;  // DnsServiceFreeInstance
        Funcao liberaRegistros = nullptr;  // DnsRecordListFree
    };
    // Test seam: the functions the sources made later use instead of dnsapi's (none: dnsapi's).
    static void DefineFuncoes(std::optional<Funcoes> funcoes);

    // The service types browsed, as dnsapi names them.
    static constexpr const wchar_t* kTipos[] = {L"_workstation._tcp.local", L"_smb._tcp.local"};
    // What is kept, whatever the network sends: instances followed, resolutions under way (each
    // cancelled after kTempoResolucao ms), events waiting for the list.
    static constexpr int kMaxInstancias = 4000;
    static constexpr int kResolvendo = 16;
    static constexpr int kTempoResolucao = 5000;
    static constexpr int kMaxEventos = 20000;

    // Reports to `rede`, which must outlive the source.
    explicit DescobertaMdns(NavegadorRede* rede);
    ~DescobertaMdns();
    DescobertaMdns(const DescobertaMdns&) = delete;
    DescobertaMdns& operator=(const DescobertaMdns&) = delete;

    // Starts browsing; false (said once per process in the log) when dnsapi lacks the functions.
    bool Inicia();

    // Queries of every source started and not ended yet (browsing or resolving).
    static int ConsultasAbertas();

private:
    struct Estado;
    std::shared_ptr<Estado> estado_;
};
