#!/usr/bin/python3
"""A host that pretends to be a Firebird server, for the lab of the database search.

  firebird_falso.py IP PORT MODE RECORD

It answers every op_connect with op_accept, then, by MODE:
  12     (protocol 12, an old server) reads the op_attach, where such a server gets the user's
         password or its legacy hash in the parameter block, and refuses the login
  13     (protocol 13) answers the op_attach with op_cont_auth asking for Legacy_Auth, whose
         answer is the legacy hash of the password, and refuses the login after it
  trava  (protocol 13) never answers anything again
Every byte received is appended to RECORD. On stdout: "pronto" once listening, then one line
per packet, "op N", and "fim" when a connection ends; "senha" when an op_attach carries
isc_dpb_password or isc_dpb_password_enc, or an op_cont_auth carries data for Legacy_Auth (the
hash).
"""
import socket
import struct
import sys
import threading

SAIDA = threading.Lock()
PROTOCOLO = {"12": 0xFFFF800C, "13": 0xFFFF800D, "trava": 0xFFFF800D}
ISC_LOGIN = 335544472


def diz(linha):
    with SAIDA:
        sys.stdout.write(linha + "\n")
        sys.stdout.flush()


def palavra(x):
    return struct.pack(">I", x & 0xFFFFFFFF)


def texto(b):
    return palavra(len(b)) + b + b"\0" * ((4 - len(b) % 4) % 4)


def recusa():  # op_response with isc_login
    return palavra(9) + palavra(0) * 4 + palavra(1) + palavra(ISC_LOGIN) + palavra(0)


class Leitor:
    def __init__(self, conexao, registro):
        self.conexao = conexao
        self.registro = registro
        self.bytes = b""

    def le(self, n):
        while len(self.bytes) < n:
            d = self.conexao.recv(4096)
            if not d:
                raise EOFError
            with SAIDA, open(self.registro, "ab") as f:
                f.write(d)
            self.bytes += d
        r, self.bytes = self.bytes[:n], self.bytes[n:]
        return r

    def palavra(self):
        return struct.unpack(">I", self.le(4))[0]

    def texto(self):
        n = self.palavra()
        if n > 65536:
            raise EOFError
        b = self.le(n)
        self.le((4 - n % 4) % 4)
        return b


def tem_senha(dpb):
    i = 1  # the version byte
    while i + 1 < len(dpb):
        tag, n = dpb[i], dpb[i + 1]
        if tag in (29, 30):  # isc_dpb_password, isc_dpb_password_enc
            return True
        i += 2 + n
    return False


def atende(conexao, modo, registro):
    r = Leitor(conexao, registro)
    try:
        while True:
            op = r.palavra()
            diz(f"op {op}")
            if op == 1:  # op_connect
                for _ in range(3):
                    r.palavra()
                r.texto()
                n = r.palavra()
                r.texto()
                for _ in range(5 * n):
                    r.palavra()
                conexao.sendall(palavra(3) + palavra(PROTOCOLO[modo]) + palavra(1) + palavra(5))
            elif op == 19:  # op_attach
                r.palavra()
                r.texto()
                if tem_senha(r.texto()):
                    diz("senha")
                if modo == "12":
                    conexao.sendall(recusa())
                elif modo == "13":
                    conexao.sendall(palavra(92) + texto(b"") + texto(b"Legacy_Auth") +
                                    texto(b"Legacy_Auth") + texto(b""))
            elif op == 92:  # op_cont_auth
                dados, plugin = r.texto(), r.texto()
                r.texto()
                r.texto()
                if dados and plugin == b"Legacy_Auth":
                    diz("senha")
                conexao.sendall(recusa())
            else:
                break
    except (EOFError, OSError):
        pass
    finally:
        conexao.close()
        diz("fim")


def main(ip, porta, modo, registro):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((ip, int(porta)))
    s.listen(64)
    diz("pronto")
    while True:
        conexao, _ = s.accept()
        threading.Thread(target=atende, args=(conexao, modo, registro), daemon=True).start()


if __name__ == "__main__":
    main(*sys.argv[1:])
