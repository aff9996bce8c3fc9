#!/usr/bin/python3
"""FTP server for the tests and the benchmark, on pyftpdlib (Debian's python3-pyftpdlib).

Serves the folder --raiz as the root of one user's tree on 127.0.0.1, prints the port it
listens on (one line) and serves until SIGTERM.

  --usuario, --senha   the one account (a wrong login answers 530 at once)
  --porta N            0 (the default) takes a free port
  --log ARQUIVO        one line per connection ("CONEXAO") and per command received, as sent
                       (PASS included), flushed at once
  --limite N           sends at most N bytes per second on data connections
  --corta N            the first RETR sends only the first N bytes; then, with
                       --corte completa, the data connection closes and the server answers
                       "226 Transfer complete." as if the file were whole; with --corte fecha
                       (the default) the data and control connections drop without a reply
  --sobra N            the first RETR sends N bytes more than the file holds (SIZE tells
                       the file's own size); when its data connection ends, the log gets
                       "SOBRA <bytes of the surplus handed to the connection>"
  --segura-226         the reply that ends a RETR ("226") is never sent
  --segura-quit        QUIT is never answered, and the connection stays open
  --resposta-longa N   RETR is refused with a "550" reply line of N characters
  --arquivo-porta F    also writes the port into the file F (removed when the server ends)
  --enquanto F         serves only while the file F exists (for a caller that cannot signal
                       it: a Windows program under Wine starts it, but cannot stop a Linux
                       process)
"""

import argparse
import os
import signal
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--raiz", required=True)
    p.add_argument("--usuario", required=True)
    p.add_argument("--senha", required=True)
    p.add_argument("--porta", type=int, default=0)
    p.add_argument("--log")
    p.add_argument("--limite", type=int, default=0)
    p.add_argument("--corta", type=int, default=-1)
    p.add_argument("--corte", choices=("fecha", "completa"), default="fecha")
    p.add_argument("--sobra", type=int, default=0)
    p.add_argument("--segura-226", action="store_true")
    p.add_argument("--segura-quit", action="store_true")
    p.add_argument("--resposta-longa", type=int, default=0)
    p.add_argument("--arquivo-porta")
    p.add_argument("--enquanto")
    a = p.parse_args()

    log = open(a.log, "a", encoding="utf-8") if a.log else None
    estado = {"cortar": a.corta >= 0 or a.sobra > 0}

    def registra(linha):
        if log:
            log.write(linha + "\n")
            log.flush()

    class Cortado:
        """The file as the first RETR reads it: only its first bytes, or more than it holds."""

        def __init__(self, arquivo, handler):
            self.arquivo = arquivo
            self.handler = handler
            self.resta = a.corta
            self.sobra = a.sobra
            self.name = arquivo.name
            self.enviada = 0
            self.closed = False

        def read(self, n=-1):
            if self.resta < 0:  # not cut: the file, then the surplus
                dados = self.arquivo.read(n)
                if not dados and self.sobra > 0:
                    dados = b"\xa5" * (self.sobra if n < 0 else min(n, self.sobra))
                    self.sobra -= len(dados)
                    self.enviada += len(dados)
                return dados
            if self.resta == 0:
                if a.corte == "fecha":
                    # Everything drops: no reply ever comes on the control connection.
                    self.handler.close()
                return b""
            n = self.resta if n < 0 else min(n, self.resta)
            dados = self.arquivo.read(n)
            self.resta -= len(dados)
            return dados

        def close(self):
            if not self.closed and a.sobra > 0:
                registra("SOBRA %d" % self.enviada)
            self.closed = True
            self.arquivo.close()

        def seek(self, *args):
            return self.arquivo.seek(*args)

    class Arquivos(AbstractedFS):
        def open(self, filename, mode):
            f = super().open(filename, mode)
            if "r" in mode and estado["cortar"]:
                estado["cortar"] = False
                return Cortado(f, self.cmd_channel)
            return f

    class Handler(FTPHandler):
        def on_connect(self):
            registra("CONEXAO")

        def pre_process_command(self, line, cmd, arg):
            registra(line)
            if cmd == "RETR" and estado["cortar"]:
                self.use_sendfile = False
            super().pre_process_command(line, cmd, arg)

        def respond(self, resp, logfun=None):
            if a.segura_226 and resp.startswith("226"):
                return  # held back for ever: the client has every byte, but no verdict
            super().respond(resp)

        def ftp_QUIT(self, line):
            if not a.segura_quit:
                super().ftp_QUIT(line)

        def ftp_RETR(self, file):
            if a.resposta_longa > 0:
                texto = "Arquivo recusado: " + "x" * a.resposta_longa
                self.respond("550 " + texto[: a.resposta_longa])
                return
            super().ftp_RETR(file)

    autorizador = DummyAuthorizer()
    autorizador.add_user(a.usuario, a.senha, a.raiz, perm="elr")
    Handler.authorizer = autorizador
    Handler.abstracted_fs = Arquivos
    Handler.auth_failed_timeout = 0
    Handler.banner = "Servidor de testes pronto."
    if a.limite > 0:
        dtp = type("DTP", (ThrottledDTPHandler,), {"write_limit": a.limite})
        Handler.dtp_handler = dtp
    # A request that goes silent is the client's business, not the server's.
    Handler.timeout = 0

    servidor = FTPServer(("127.0.0.1", a.porta), Handler)
    servidor.max_cons = 64
    print(servidor.address[1], flush=True)
    if a.arquivo_porta:
        with open(a.arquivo_porta + ".tmp", "w") as f:
            f.write("%d\n" % servidor.address[1])
        os.replace(a.arquivo_porta + ".tmp", a.arquivo_porta)
    signal.signal(signal.SIGTERM, lambda *_: servidor.close_all())
    if a.enquanto:
        def vigia():
            if os.path.exists(a.enquanto):
                servidor.ioloop.call_later(0.2, vigia)
                return
            if a.arquivo_porta and os.path.exists(a.arquivo_porta):
                os.remove(a.arquivo_porta)
            os._exit(0)

        servidor.ioloop.call_later(0.2, vigia)
    try:
        # With a watch, the loop wakes up to run it even while no client talks.
        servidor.serve_forever(timeout=0.2 if a.enquanto else None, handle_exit=False)
    except (KeyboardInterrupt, OSError):
        pass
    finally:
        if a.arquivo_porta and os.path.exists(a.arquivo_porta):
            os.remove(a.arquivo_porta)
    return 0


if __name__ == "__main__":
    # pyftpdlib writes its own log on stderr; only the tests' log matters here.
    import logging

    logging.basicConfig(level=logging.CRITICAL)
    sys.exit(main())
