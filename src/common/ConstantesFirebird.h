#pragma once

// The few types and constants of the Firebird/InterBase client API that the program uses (the
// services client and the database check), with the values documented for that API (ibase.h).
// Written here so that the program builds where no Firebird header is installed (the Windows build
// among them); the client library itself is loaded at run time.

#include <cstdint>

namespace fb {

// Status vector: ISC_STATUS is pointer-sized; the vector has 20 entries. Entry 0 is 1 (the
// isc_arg_gds marker) and entry 1 the error code, 0 when the call succeeded.
using IscStatus = std::intptr_t;
constexpr int TamanhoVetorStatus = 20;

// FB_API_HANDLE: a 32-bit number on 64-bit platforms, a pointer elsewhere.
#if defined(_LP64) || defined(__LP64__) || defined(__arch64__) || defined(_WIN64)
using Handle = unsigned int;
#else
using Handle = void*;
#endif

// Calling convention of the exported functions (ISC_EXPORT).
#if defined(_WIN32)
#define FB_CHAMADA __stdcall
#else
#define FB_CHAMADA
#endif

using isc_service_attach_t = IscStatus(FB_CHAMADA*)(IscStatus* status, unsigned short tamNome,
                                                    const char* nome, Handle* servico,
                                                    unsigned short tamSpb, const char* spb);
using isc_service_detach_t = IscStatus(FB_CHAMADA*)(IscStatus* status, Handle* servico);
using isc_service_start_t = IscStatus(FB_CHAMADA*)(IscStatus* status, Handle* servico,
                                                   void* reservado, unsigned short tamPedido,
                                                   const char* pedido);
using isc_service_query_t = IscStatus(FB_CHAMADA*)(IscStatus* status, Handle* servico,
                                                   void* reservado, unsigned short tamEnvio,
                                                   const char* envio, unsigned short tamItens,
                                                   const char* itens, unsigned short tamResposta,
                                                   char* resposta);
// fb_interpret(buffer, size, &status): next message of the status vector, 0 at its end.
using fb_interpret_t = int(FB_CHAMADA*)(char* texto, unsigned int tamanho,
                                        const IscStatus** status);

using isc_attach_database_t = IscStatus(FB_CHAMADA*)(IscStatus* status, short tamNome,
                                                     const char* nome, Handle* banco, short tamDpb,
                                                     const char* dpb);
using isc_detach_database_t = IscStatus(FB_CHAMADA*)(IscStatus* status, Handle* banco);
using isc_database_info_t = IscStatus(FB_CHAMADA*)(IscStatus* status, Handle* banco, short tamItens,
                                                   const char* itens, short tamResposta,
                                                   char* resposta);

// Kinds of the entries of a status vector (each followed by its value; a counted string by its
// length and then the pointer).
constexpr IscStatus isc_arg_end = 0;
constexpr IscStatus isc_arg_gds = 1;
constexpr IscStatus isc_arg_string = 2;
constexpr IscStatus isc_arg_cstring = 3;
constexpr IscStatus isc_arg_interpreted = 5;
constexpr IscStatus isc_arg_sql_state = 19;

// Error codes of the status vector (iberror.h) that the database check tells apart.
constexpr IscStatus isc_io_error = 335544344;
constexpr IscStatus isc_connect_reject = 335544421;
constexpr IscStatus isc_login = 335544472;
constexpr IscStatus isc_net_lookup_err = 335544704;
constexpr IscStatus isc_host_unknown = 335544706;
constexpr IscStatus isc_network_error = 335544721;
constexpr IscStatus isc_net_connect_err = 335544722;
constexpr IscStatus isc_io_open_err = 335544734;
constexpr IscStatus isc_auth_handshake_limit = 335545063;
constexpr IscStatus isc_wirecrypt_incompatible = 335545064;
constexpr IscStatus isc_miss_wirecrypt = 335545065;
constexpr IscStatus isc_wirecrypt_key = 335545066;
constexpr IscStatus isc_wirecrypt_plugin = 335545067;
constexpr IscStatus isc_auth_data = 335545069;
constexpr IscStatus isc_auth_datalength = 335545070;
constexpr IscStatus isc_login_error = 335545106;

// Database parameter block (attach): a version byte, then tag + 1-byte length + bytes.
constexpr std::uint8_t isc_dpb_version1 = 1;
constexpr std::uint8_t isc_dpb_user_name = 28;
constexpr std::uint8_t isc_dpb_password = 29;
constexpr std::uint8_t isc_dpb_connect_timeout = 57;
constexpr std::uint8_t isc_dpb_auth_plugin_list = 85; // the client's plugins, for this attach
constexpr std::uint8_t isc_dpb_config = 87;           // firebird.conf lines, for this attach

// Database information item: the server's version texts.
constexpr std::uint8_t isc_info_firebird_version = 103;

// Service parameter block (attach).
constexpr std::uint8_t isc_spb_version = 2; // isc_spb_current_version
constexpr std::uint8_t isc_spb_user_name = 28;
constexpr std::uint8_t isc_spb_password = 29;
constexpr std::uint8_t isc_spb_connect_timeout = 57;

// Service actions (start).
constexpr std::uint8_t isc_action_svc_add_user = 4;
constexpr std::uint8_t isc_action_svc_delete_user = 5;
constexpr std::uint8_t isc_action_svc_display_user = 7;

// Items of the security actions.
constexpr std::uint8_t isc_spb_sec_userid = 5;
constexpr std::uint8_t isc_spb_sec_groupid = 6;
constexpr std::uint8_t isc_spb_sec_username = 7;
constexpr std::uint8_t isc_spb_sec_password = 8;
constexpr std::uint8_t isc_spb_sec_groupname = 9;
constexpr std::uint8_t isc_spb_sec_firstname = 10;
constexpr std::uint8_t isc_spb_sec_middlename = 11;
constexpr std::uint8_t isc_spb_sec_lastname = 12;
constexpr std::uint8_t isc_spb_sec_admin = 13;

// Query items and the structural codes of an answer.
constexpr std::uint8_t isc_info_end = 1;
constexpr std::uint8_t isc_info_truncated = 2;
constexpr std::uint8_t isc_info_error = 3;
constexpr std::uint8_t isc_info_data_not_ready = 4;
constexpr std::uint8_t isc_info_svc_timeout = 64;
constexpr std::uint8_t isc_info_svc_running = 67;
constexpr std::uint8_t isc_info_svc_get_users = 68;

} // namespace fb
