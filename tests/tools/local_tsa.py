#!/usr/bin/env python3
"""A timestamp authority on this machine, for signing tests without a network.

  local_tsa.py <folder> [--time <faketime date>] [--port-file <file>]

Makes a test root and a timestamping certificate in <folder> (once), then
answers RFC 3161 requests posted over http on 127.0.0.1 with `openssl ts
-reply`, on a free port that it writes to --port-file (or prints). With
--time the authority's clock reads that date (through faketime), so that a
test can timestamp a signature at a moment of its choosing. Runs until killed.
"""
import argparse
import http.server
import os
import pathlib
import subprocess
import sys
import tempfile

CONFIG = """
[ req ]
distinguished_name = dn
[ dn ]
[ tsa_ext ]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = critical, timeStamping
[ root_ext ]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
dir = {folder}
serial = $dir/serial
signer_cert = $dir/tsa.pem
certs = $dir/root.pem
signer_key = $dir/tsa.key
signer_digest = sha256
default_policy = 1.3.6.1.4.1.4146.2.3
digests = sha256, sha1
accuracy = secs:1
ordering = no
tsa_name = no
ess_cert_id_chain = no
ess_cert_id_alg = sha256
"""


def run(*args, time=None):
    command = (["faketime", time] if time else []) + list(args)
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def make_authority(folder: pathlib.Path, time):
    (folder / "tsa.cnf").write_text(CONFIG.format(folder=folder))
    if (folder / "tsa.pem").exists():
        return
    cnf = str(folder / "tsa.cnf")
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", str(folder / "root.key"),
        "-out", str(folder / "root.pem"), "-days", "7300", "-subj", "/CN=Lantern Test Timestamp Root",
        "-config", cnf, "-extensions", "root_ext", time=time)
    run("openssl", "req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", str(folder / "tsa.key"),
        "-out", str(folder / "tsa.csr"), "-subj", "/CN=Lantern Test Timestamp Authority", "-config", cnf, time=time)
    run("openssl", "x509", "-req", "-in", str(folder / "tsa.csr"), "-CA", str(folder / "root.pem"),
        "-CAkey", str(folder / "root.key"), "-CAcreateserial", "-days", "7000", "-out", str(folder / "tsa.pem"),
        "-extfile", cnf, "-extensions", "tsa_ext", time=time)
    (folder / "serial").write_text("01\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--time")
    parser.add_argument("--port-file")
    args = parser.parse_args()
    folder = pathlib.Path(args.folder).resolve()
    folder.mkdir(parents=True, exist_ok=True)
    make_authority(folder, args.time)

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            query = self.rfile.read(int(self.headers.get("Content-Length", "0")))
            with tempfile.TemporaryDirectory() as scratch:
                query_file = os.path.join(scratch, "query.tsq")
                reply_file = os.path.join(scratch, "reply.tsr")
                pathlib.Path(query_file).write_bytes(query)
                command = ["openssl", "ts", "-reply", "-config", str(folder / "tsa.cnf"), "-queryfile", query_file,
                           "-out", reply_file]
                if args.time:
                    command = ["faketime", args.time] + command
                done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
                if done.returncode != 0:
                    self.send_error(500, done.stderr.decode(errors="replace")[:200])
                    return
                reply = pathlib.Path(reply_file).read_bytes()
            self.send_response(200)
            self.send_header("Content-Type", "application/timestamp-reply")
            self.send_header("Content-Length", str(len(reply)))
            self.end_headers()
            self.wfile.write(reply)

        def log_message(self, *args):
            pass

    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    port = str(server.server_address[1])
    if args.port_file:
        pathlib.Path(args.port_file + ".tmp").write_text(port)
        os.replace(args.port_file + ".tmp", args.port_file)
    else:
        print(port, flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
