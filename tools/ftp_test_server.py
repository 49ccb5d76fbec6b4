#!/usr/bin/env python3
"""Loopback FTP server for the network tests, from the distribution's
pyftpdlib (Debian package python3-pyftpdlib).

Serves --root to the user --user with the password --password on 127.0.0.1,
on a port the system chooses, written to --port-file once listening.
"""

import argparse
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--user", default="tester")
    parser.add_argument("--password", default="secret")
    args = parser.parse_args()
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, os.path.abspath(args.root), perm="elradfmwMT")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.passive_ports = None
    server = FTPServer(("127.0.0.1", 0), handler)
    temp = args.port_file + ".tmp"
    with open(temp, "w", encoding="utf-8") as f:
        f.write(str(server.socket.getsockname()[1]))
    os.replace(temp, args.port_file)
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())
