#!/usr/bin/python3
"""A real FTP server for Kestrune's tests and demo (pyftpdlib), loopback only.

  ftp-server.py --root DIR --address 127.0.0.x --port N [--folder F ...]
                [--passive FIRST-LAST] [--log FILE] [--mode MODE]

User "brevanotica" / "wKup3h58" may write below DIR; user "readonly" / "readonly"
may only read (a refused STOR). The folders httpdocs/customer_yedek/F are made
for every --folder. MODE:
  normal      a working server
  silent      accepts connections and never says a word
  stall-cwd   answers the log-in, then never answers CWD
  stall-stor  answers up to STOR, then never answers (nor opens the data channel)
  stall-data  answers STOR and takes the first bytes, then reads no more and
              says nothing: the transfer stalls (the data channel gives up
              after 20 s)
  deny-login  a working server that refuses every log-in of "brevanotica"
  deny-stor   a working server that refuses every STOR (550)
  one-stor    a working server that refuses a second STOR on the same
              control connection (550)
  idle-close  a working server that closes a control connection idle for 1 s
  tls-no-prot a working server that takes AUTH TLS (a certificate of its own
              making, DIR.pem) but refuses PROT P: the data stays in the clear
Runs until SIGTERM. Prints "ready" on stdout once it listens.
"""
import argparse, logging, os, signal, socket, subprocess, sys, threading, time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer

p = argparse.ArgumentParser()
p.add_argument("--root", required=True)
p.add_argument("--address", required=True)
p.add_argument("--port", type=int, default=21)
p.add_argument("--folder", action="append", default=[])
p.add_argument("--passive", default="")
p.add_argument("--log", default="")
p.add_argument("--mode", default="normal",
               choices=["normal", "silent", "stall-cwd", "stall-stor", "stall-data", "deny-login",
                        "deny-stor", "one-stor", "idle-close", "tls-no-prot"])
a = p.parse_args()

if not a.address.startswith("127."):
    sys.exit("refusing non-loopback address " + a.address)

signal.signal(signal.SIGTERM, lambda *_: os._exit(0))

if a.mode == "silent":
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((a.address, a.port))
    s.listen(64)
    print("ready", flush=True)
    held = []
    while True:
        c, _ = s.accept()
        held.append(c)  # keep it open, say nothing

os.makedirs(a.root, exist_ok=True)
for f in a.folder:
    os.makedirs(os.path.join(a.root, "httpdocs", "customer_yedek", f), exist_ok=True)

auth = DummyAuthorizer()
password = "not-the-agents" if a.mode == "deny-login" else "wKup3h58"
auth.add_user("brevanotica", password, a.root, perm="elradfmwMT")
auth.add_user("readonly", "readonly", a.root, perm="elr")


class Transfer(DTPHandler):
    if a.mode == "stall-data":
        timeout = 20

    def __init__(self, sock, cmd_channel):
        if a.mode == "stall-data":
            # a small window, so that the client soon has nowhere to put its bytes
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 16384)
        super().__init__(sock, cmd_channel)

    def handle_read(self):
        super().handle_read()
        if a.mode == "stall-data" and self.tot_bytes_received and not self._closed:
            self.del_channel()  # the socket stays open, unread

    handle_read_event = handle_read


class Handler(TLS_FTPHandler if a.mode == "tls-no-prot" else FTPHandler):
    authorizer = auth
    dtp_handler = Transfer
    auth_failed_timeout = 0.05
    timeout = 1 if a.mode == "idle-close" else 600
    stored = 0

    def ftp_CWD(self, path):
        if a.mode == "stall-cwd":
            return  # never answer
        return super().ftp_CWD(path)

    def ftp_STOR(self, file, mode="w"):
        if a.mode == "stall-stor":
            return
        if a.mode == "deny-stor" or (a.mode == "one-stor" and self.stored):
            self.respond("550 Not enough space to store the file.")
            return
        self.stored += 1
        return super().ftp_STOR(file, mode)

    def ftp_PROT(self, line):
        if line.upper() == "P":
            self.respond("534 Data protection refused.")
            return
        return super().ftp_PROT(line)


if a.mode == "tls-no-prot":
    Handler.certfile = a.root + ".pem"
    if not os.path.exists(Handler.certfile):
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=" + a.address, "-keyout", Handler.certfile,
                        "-out", Handler.certfile + ".crt"], check=True, capture_output=True)
        with open(Handler.certfile, "a") as pem, open(Handler.certfile + ".crt") as crt:
            pem.write(crt.read())


if a.passive:
    first, last = a.passive.split("-")
    Handler.passive_ports = range(int(first), int(last) + 1)

if a.log:
    logging.basicConfig(filename=a.log, level=logging.DEBUG,
                        format="%(asctime)s %(message)s")
else:
    logging.basicConfig(level=logging.ERROR)

server = FTPServer((a.address, a.port), Handler)
server.max_cons = 512
print("ready", flush=True)
server.serve_forever(timeout=0.2 if a.mode == "idle-close" else None)
