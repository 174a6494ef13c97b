"""An FTP server on 127.0.0.1 for the update transfer tests (Debian's python3-pyftpdlib).

Usage: ftp_fixture.py ROOT PORT_FILE [USER PASSWORD]
Serves ROOT read-only, to USER/PASSWORD when given, else to anonymous. Passive data
connections use 127.0.0.1 too; active ones may only go back to the client's own address.
The chosen port is written to PORT_FILE once the server listens; every command the server
receives is logged on standard error.
"""

import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    root, port_file = sys.argv[1], sys.argv[2]
    authorizer = DummyAuthorizer()
    if len(sys.argv) >= 5:
        authorizer.add_user(sys.argv[3], sys.argv[4], root, perm="elr")
    else:
        authorizer.add_anonymous(root, perm="elr")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.masquerade_address = None
    handler.permit_foreign_addresses = False
    logging.basicConfig(level=logging.DEBUG, stream=sys.stderr,
                        format="ftp-fixture: %(message)s")
    server = FTPServer(("127.0.0.1", 0), handler)
    port = server.socket.getsockname()[1]
    with open(port_file + ".tmp", "w") as f:
        f.write(f"{port}\n")
    os.replace(port_file + ".tmp", port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
