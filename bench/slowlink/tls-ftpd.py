# pyftpdlib requiring TLS on the login and every data connection, for the TLS benchmark.
#   tls-ftpd.py ADDRESS PORT ROOT USER PASSWORD CERTFILE
import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import TLS_FTPHandler, TLS_DTPHandler
from pyftpdlib.servers import FTPServer

address, port, root, user, password, cert = sys.argv[1:7]


class DTP(TLS_DTPHandler):
    # Debian 12's pyftpdlib (1.5.7) takes a data connection still in its handshake for
    # unreadable and resets it; 1.5.8 mends it this way.
    def readable(self):
        return self._ssl_accepting or super().readable()


authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm='elradfmwMT')
TLS_FTPHandler.authorizer = authorizer
TLS_FTPHandler.dtp_handler = DTP
TLS_FTPHandler.certfile = cert
TLS_FTPHandler.tls_control_required = True
TLS_FTPHandler.tls_data_required = True
FTPServer((address, int(port)), TLS_FTPHandler).serve_forever()
