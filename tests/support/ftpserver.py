#!/usr/bin/python3
"""A throwaway FTP server for tests and the demo: pyftpdlib on a temporary root.

    ftpserver.py --root DIR [--host 127.0.0.1] [--port 0] [--user NAME:PASS ...] [--anonymous]

Prints the port it listens on as the first line of standard output, then serves until killed.
Test-only switches: --anonymous-write, --no-mlsd, --no-epsv, --masquerade ADDR (PASV names that
address), --throttle BYTES (per second, both ways), --refuse NAME (RETR and STOR of a file with
that name answer 550; may be repeated), --command-log FILE (every command line received, as
received, one a line; passwords masked), --watch-stdin (exit when standard input closes, so the
server never outlives the test that started it), --tls-cert FILE and --tls-key FILE (offer
AUTH TLS with that certificate; needs python3-openssl), --tls-implicit (TLS from the first byte
instead), --tls-required (refuse USER and PASS, and data connections, without TLS).
"""

import argparse
import logging
import os
import sys
import threading

try:
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
    from pyftpdlib.servers import FTPServer
except ImportError as error:
    sys.stderr.write("pyftpdlib is missing (Debian package python3-pyftpdlib): %s\n" % error)
    sys.exit(3)


def main():
    parser = argparse.ArgumentParser(description="Test FTP server")
    parser.add_argument("--root", required=True)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--user", action="append", default=[], help="NAME:PASS, full rights on the root")
    parser.add_argument("--anonymous", action="store_true")
    parser.add_argument("--anonymous-write", action="store_true")
    parser.add_argument("--no-mlsd", action="store_true")
    parser.add_argument("--no-epsv", action="store_true")
    parser.add_argument("--masquerade", default="")
    parser.add_argument("--throttle", type=int, default=0)
    parser.add_argument("--refuse", action="append", default=[], help="file name whose RETR and STOR fail")
    parser.add_argument("--command-log", default="")
    parser.add_argument("--watch-stdin", action="store_true")
    parser.add_argument("--tls-cert", default="")
    parser.add_argument("--tls-key", default="")
    parser.add_argument("--tls-implicit", action="store_true")
    parser.add_argument("--tls-required", action="store_true")
    args = parser.parse_args()

    base = FTPHandler
    if args.tls_cert:
        try:
            from pyftpdlib.handlers import TLS_FTPHandler
        except ImportError as error:
            sys.stderr.write("TLS needs python3-openssl: %s\n" % error)
            sys.exit(3)
        base = TLS_FTPHandler

    logging.basicConfig(level=logging.WARNING)
    root = os.path.abspath(args.root)
    authorizer = DummyAuthorizer()
    for entry in args.user:
        name, _, password = entry.partition(":")
        authorizer.add_user(name, password, root, perm="elradfmwMT")
    if args.anonymous or args.anonymous_write:
        authorizer.add_anonymous(root, perm="elradfmwMT" if args.anonymous_write else "elr")

    refused = set(args.refuse)

    class Handler(base):
        def ftp_RETR(self, file):
            if os.path.basename(file) in refused:
                self.respond("550 Refused by the test server.")
                return
            return base.ftp_RETR(self, file)

        def ftp_STOR(self, file, mode="w"):
            if os.path.basename(file) in refused:
                self.respond("550 Refused by the test server.")
                return
            return base.ftp_STOR(self, file, mode)

    if args.tls_cert:
        Handler.certfile = args.tls_cert
        Handler.keyfile = args.tls_key or args.tls_cert
        Handler.tls_control_required = args.tls_required
        Handler.tls_data_required = args.tls_required
        if args.tls_implicit:
            def handle(self):
                # The handshake comes first; the greeting waits for it in the send buffer.
                self.secure_connection(self.ssl_context)
                base.handle(self)
            Handler.handle = handle

    if args.command_log:
        command_log = open(args.command_log, "a", encoding="utf-8", errors="replace")

        def pre_process_command(self, line, cmd, arg):
            # Written before the server answers, so a client that has its reply finds it here.
            command_log.write(("PASS ****" if cmd == "PASS" else line) + "\n")
            command_log.flush()
            base.pre_process_command(self, line, cmd, arg)

        Handler.pre_process_command = pre_process_command

    Handler.authorizer = authorizer
    Handler.auth_failed_timeout = 0  # tests try wrong passwords; no need to wait
    Handler.banner = "Tidewick test server ready."
    if args.masquerade:
        Handler.masquerade_address = args.masquerade
    # pyftpdlib keeps its command table on the class; copy before removing entries.
    Handler.proto_cmds = dict(base.proto_cmds)
    if args.no_mlsd:
        for name in ("MLSD", "MLST"):
            Handler.proto_cmds.pop(name, None)
    if args.no_epsv:
        for name in ("EPSV", "EPRT"):
            Handler.proto_cmds.pop(name, None)
    if args.throttle > 0:
        class Throttled(ThrottledDTPHandler):
            read_limit = args.throttle
            write_limit = args.throttle
        Handler.dtp_handler = Throttled

    server = FTPServer((args.host, args.port), Handler)
    sys.stdout.write("%d\n" % server.socket.getsockname()[1])
    sys.stdout.flush()

    if args.watch_stdin:
        def watch():
            while sys.stdin.buffer.read(4096):
                pass
            os._exit(0)
        threading.Thread(target=watch, daemon=True).start()

    server.serve_forever()


if __name__ == "__main__":
    main()
