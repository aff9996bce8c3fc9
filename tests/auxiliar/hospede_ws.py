#!/usr/bin/python3
"""A WS-Discovery host that misbehaves, for the network browser's lab (run inside a namespace).

  hello IPS URL N [ENDPOINT] N Hello messages from each address of IPS (comma-separated), the
                             i-th with endpoint ENDPOINT-IP-i (default urn:uuid:teste) and
                             XAddrs URL with {i} replaced by i and {ip} by the address
  bye IP ENDPOINT            a Bye from IP
  inunda IP N DEPTH          N messages nested DEPTH deep (about 64 KB each) from IP
  metadados IP PORT LENGTH   an HTTP server answering every POST with metadata naming the
                             computer after the request's path (or LENGTH x's when the path is
                             /longo...; a redirection to 127.0.0.1:8888 when it is
                             /redireciona...), in workgroup ATAQUE; one line per request on stdout
  mudo IP PORT               accepts TCP connections and never answers
  responde IP N NAME         a host as Windows answers a probe (ProbeMatches by unicast,
                             with XAddrs http://IP:5400/NAME), but only to the N-th probe
                             datagram it gets from each sender's port (the earlier ones are
                             lost, as a firewall would drop their answers); one line per
                             probe received
Every datagram goes to 239.255.255.250:3702 with IP_MULTICAST_IF=IP and TTL 1.
"""
import http.server
import socket
import sys
import threading
import time
import uuid

GRUPO = ("239.255.255.250", 3702)
DESCOBERTA = "http://schemas.xmlsoap.org/ws/2005/04/discovery/"


def envelope(acao, corpo):
    return ('<?xml version="1.0" encoding="utf-8"?><soap:Envelope '
            'xmlns:soap="http://www.w3.org/2003/05/soap-envelope" '
            'xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing" '
            'xmlns:wsd="http://schemas.xmlsoap.org/ws/2005/04/discovery"><soap:Header>'
            '<wsa:To>urn:schemas-xmlsoap-org:ws:2005:04:discovery</wsa:To>'
            f'<wsa:Action>{DESCOBERTA}{acao}</wsa:Action>'
            f'<wsa:MessageID>urn:uuid:{uuid.uuid4()}</wsa:MessageID></soap:Header>'
            f'<soap:Body>{corpo}</soap:Body></soap:Envelope>').encode()


def socket_de(ip):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind((ip, 0))
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(ip))
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 1)
    return s


SAIDA = threading.Lock()


def diz(linha):
    # Requests are served on threads of their own: print writes a line's text and its end
    # separately, so two lines at once would run together.
    with SAIDA:
        sys.stdout.write(linha + "\n")
        sys.stdout.flush()


def referencia(endpoint):
    return (f'<wsa:EndpointReference><wsa:Address>{endpoint}</wsa:Address>'
            '</wsa:EndpointReference>')


def hello(ips, url, n, endpoint="urn:uuid:teste"):
    enviados = 0
    for ip in ips.split(","):
        s = socket_de(ip)
        for i in range(int(n)):
            xaddrs = url.replace("{i}", str(i)).replace("{ip}", ip)
            s.sendto(envelope("Hello", f'<wsd:Hello>{referencia(f"{endpoint}-{ip}-{i}")}'
                              f'<wsd:XAddrs>{xaddrs}</wsd:XAddrs>'
                              '<wsd:MetadataVersion>1</wsd:MetadataVersion></wsd:Hello>'), GRUPO)
            enviados += 1
            if enviados % 50 == 0:
                time.sleep(0.02)  # the receiver's buffer is not the thing under test


def bye(ip, endpoint):
    socket_de(ip).sendto(envelope("Bye", f'<wsd:Bye>{referencia(endpoint)}</wsd:Bye>'), GRUPO)


def inunda(ip, n, profundidade):
    profundidade = int(profundidade)
    corpo = "<x>" * profundidade + "</x>" * profundidade
    mensagem = envelope("Hello", corpo)[:65000]
    s = socket_de(ip)
    for _ in range(int(n)):
        s.sendto(mensagem, GRUPO)


def metadados(ip, porta, tamanho):
    class Tratador(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            self.rfile.read(int(self.headers.get("Content-Length", 0)))
            nome = self.path.strip("/")
            if nome.startswith("redireciona"):  # to this machine's loopback, where a spy listens
                self.send_response(307)
                self.send_header("Location", "http://127.0.0.1:8888/REDIRECIONADA")
                self.send_header("Content-Length", "0")
                self.end_headers()
                diz(f"POST {self.path}")
                return
            if nome.startswith("longo"):
                nome = "x" * int(tamanho)
            corpo = ('<?xml version="1.0" encoding="utf-8"?><soap:Envelope '
                     'xmlns:soap="http://www.w3.org/2003/05/soap-envelope" '
                     'xmlns:pub="http://schemas.microsoft.com/windows/pub/2005/07"><soap:Body>'
                     f'<pub:Computer>{nome}/Workgroup:ATAQUE</pub:Computer>'
                     '</soap:Body></soap:Envelope>').encode()
            self.send_response(200)
            self.send_header("Content-Type", "application/soap+xml")
            self.send_header("Content-Length", str(len(corpo)))
            self.end_headers()
            self.wfile.write(corpo)
            diz(f"POST {self.path}")

        def log_message(self, *args):
            pass

    servidor = http.server.ThreadingHTTPServer((ip, int(porta)), Tratador)
    print("pronto", flush=True)
    servidor.serve_forever()


def mudo(ip, porta):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((ip, int(porta)))
    s.listen(4096)  # the kernel completes the connections; nobody reads them
    print("pronto", flush=True)
    while True:
        time.sleep(3600)


def responde(ip, n, nome):
    import re
    import struct
    escuta = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    escuta.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    escuta.bind(GRUPO)
    escuta.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                      struct.pack("4s4s", socket.inet_aton(GRUPO[0]), socket.inet_aton(ip)))
    resposta = socket_de(ip)
    vistas = {}
    print("pronto", flush=True)
    while True:
        dados, origem = escuta.recvfrom(65536)
        texto = dados.decode("utf-8", "replace")
        if DESCOBERTA + "Probe<" not in texto:
            continue
        vistas[origem] = vistas.get(origem, 0) + 1
        diz(f"probe {origem[0]}:{origem[1]} {vistas[origem]}")
        if vistas[origem] != int(n):
            continue
        pedido = re.search(r"MessageID>([^<]*)<", texto)
        corpo = (f'<wsd:ProbeMatches><wsd:ProbeMatch>{referencia(f"urn:uuid:responde-{ip}")}'
                 '<wsd:Types>wsdp:Device pub:Computer</wsd:Types>'
                 f'<wsd:XAddrs>http://{ip}:5400/{nome}</wsd:XAddrs>'
                 '<wsd:MetadataVersion>1</wsd:MetadataVersion></wsd:ProbeMatch>'
                 '</wsd:ProbeMatches>')
        mensagem = envelope("ProbeMatches", corpo).replace(
            b"</soap:Header>",
            f"<wsa:RelatesTo>{pedido.group(1) if pedido else ''}</wsa:RelatesTo></soap:Header>"
            .encode())
        resposta.sendto(mensagem, origem)


if __name__ == "__main__":
    {"hello": hello, "bye": bye, "inunda": inunda, "metadados": metadados,
     "mudo": mudo, "responde": responde}[sys.argv[1]](*sys.argv[2:])
