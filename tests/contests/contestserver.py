#!/usr/bin/env python3
"""The contest servers for the tests: DHV-XC's form endpoint and XContest's API
gate over HTTPS on 127.0.0.1. Each request is checked the way the real services
read it (form decoding, digests, multipart structure) by code that shares
nothing with the client; what was received goes as one JSON line per request
into the log, and the answer comes from the configuration file, read anew for
every request so that a test can change it between requests.

usage: contestserver.py --cert PEM --key PEM --config JSON --log JSONL
Prints the port on the first line of standard output.
"""
import argparse
import base64
import email.parser
import email.policy
import hashlib
import http.server
import json
import os
import secrets
import socket
import ssl
import sys
import threading
import time
import urllib.parse

DHV_PATH = "/xc/modules/leonardo/flight_submit.php"
DHV_FIELDS = ["OLCvnolc", "na", "geb", "user", "pass", "klasse", "gliderCertCategory", "glider",
              "startType", "comments", "IGCigcIGC"]
UNRESERVED = set(b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789*-._%+")

args = None
log_lock = threading.Lock()
tickets = set()


def sha1(text):
    return hashlib.sha1(text.encode("utf-8")).hexdigest()


def config():
    with open(args.config, encoding="utf-8") as f:
        return json.load(f)


def log(entry):
    with log_lock, open(args.log, "a", encoding="utf-8") as f:
        f.write(json.dumps(entry) + "\n")


def decode_form(body, problems):
    """application/x-www-form-urlencoded, strictly: names and values as bytes."""
    if any(b not in UNRESERVED and b not in b"&=" for b in body):
        problems.append("body holds bytes that must be percent-encoded")
    pairs = []
    for piece in body.split(b"&"):
        if b"=" not in piece:
            problems.append("field without '=': %r" % piece[:40])
            continue
        name, value = piece.split(b"=", 1)
        pairs.append((urllib.parse.unquote_to_bytes(name.replace(b"+", b" ")),
                      urllib.parse.unquote_to_bytes(value.replace(b"+", b" "))))
    return pairs


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *unused):
        pass

    def answer(self, reply, fallback_body=b""):
        delay = reply.get("delayMs", 0)
        if delay:
            time.sleep(delay / 1000.0)
        if reply.get("drop"):
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            return
        body = reply.get("body")
        body = fallback_body if body is None else body.encode("utf-8")
        self.send_response(reply.get("status", 200))
        self.send_header("Content-Type", reply.get("contentType", "application/json; charset=utf-8"))
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)
        self.close_connection = True

    def refuse(self, entry, problems):
        entry["problems"] = problems
        log(entry)
        self.answer({"status": 400, "contentType": "text/plain"}, "\n".join(problems).encode("utf-8"))

    def read_body(self, problems):
        length = self.headers.get("Content-Length")
        if length is None:
            problems.append("no Content-Length")
            return b""
        return self.rfile.read(int(length))

    def entry(self):
        url = urllib.parse.urlsplit(self.path)
        return {"method": self.command, "path": url.path, "rawQuery": url.query,
                "query": dict(urllib.parse.parse_qsl(url.query, keep_blank_values=True)),
                "headers": {k.lower(): v for k, v in self.headers.items()}}

    def do_GET(self):
        entry = self.entry()
        cfg = config()
        if entry["path"] != "/api/gate/ticket/":
            entry["service"] = "unknown"
            return self.refuse(entry, ["no such path"])
        entry["service"] = "ticket"
        query, problems = entry["query"], []
        if query.get("key") != cfg["apiKey"]:
            problems.append("wrong key")
        if query.get("hash") != sha1(cfg["apiKey"] + cfg["apiSecret"]):
            problems.append("wrong key hash")
        if problems:
            entry["problems"] = problems
            log(entry)
            return self.answer({"status": 403}, json.dumps({"error": {"message": "Invalid API key"}}).encode())
        ticket = secrets.token_hex(8)
        tickets.add(ticket)
        entry["ticket"] = ticket
        log(entry)
        self.answer(cfg.get("ticket", {}), json.dumps({"ticket": ticket}).encode())

    def do_POST(self):
        entry = self.entry()
        if entry["path"] == DHV_PATH:
            entry["service"] = "dhvxc"
            return self.dhvxc(entry)
        if entry["path"] == "/api/gate/request/":
            entry["service"] = "upload"
            return self.upload(entry)
        entry["service"] = "unknown"
        self.read_body([])
        self.refuse(entry, ["no such path"])

    def dhvxc(self, entry):
        cfg, problems = config(), []
        body = self.read_body(problems)
        if entry["headers"].get("content-type") != "application/x-www-form-urlencoded":
            problems.append("content type %r" % entry["headers"].get("content-type"))
        pairs = decode_form(body, problems)
        names = [name.decode("latin-1") for name, _ in pairs]
        expected = DHV_FIELDS + (["gliderBrandID"] if "gliderBrandID" in names else [])
        if names != expected:
            problems.append("fields %r" % names)
        fields = {}
        for name, value in pairs:
            key = name.decode("latin-1")
            if key == "IGCigcIGC":
                entry["igc"] = base64.b64encode(value).decode("ascii")
                continue
            try:
                fields[key] = value.decode("utf-8")
            except UnicodeDecodeError:
                problems.append("%s is not UTF-8" % key)
        entry["fields"] = fields
        if problems:
            return self.refuse(entry, problems)
        log(entry)
        self.answer(cfg.get("dhvxc", {}), b"<html><body><p>Flight received.</p></body></html>")

    def upload(self, entry):
        cfg, problems = config(), []
        body = self.read_body(problems)
        query = entry["query"]
        ticket = query.get("ticket", "")
        if ticket not in tickets:
            problems.append("unknown ticket")
        if query.get("key") != cfg["apiKey"]:
            problems.append("wrong key")
        if query.get("hash") != sha1(ticket + cfg["apiKey"] + cfg["apiSecret"]):
            problems.append("wrong request hash")
        for name, value in (("flight", ""), ("authticket", ""), ("lng", "en"), ("autocomplete", "Y")):
            if query.get(name) != value:
                problems.append("query %s" % name)
        content_type = entry["headers"].get("content-type", "")
        message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
            b"Content-Type: " + content_type.encode("latin-1") + b"\r\n\r\n" + body)
        if not message.is_multipart():
            problems.append("not multipart")
        if message.defects:
            problems.append("multipart defects: %s" % ", ".join(type(d).__name__ for d in message.defects))
        parts = {}
        order = []
        for part in (message.iter_parts() if message.is_multipart() else []):
            if part.defects:
                problems.append("part defects: %s" % ", ".join(type(d).__name__ for d in part.defects))
            name = part.get_param("name", header="content-disposition")
            order.append(name)
            if name == "flight[tracklog]":
                entry["filename"] = part.get_filename()
                entry["partContentType"] = part.get_content_type()
                entry["igc"] = base64.b64encode(part.get_payload(decode=True)).decode("ascii")
            else:
                raw = part.get_payload(decode=True)
                try:
                    parts[name] = urllib.parse.unquote(raw.decode("ascii"), errors="strict")
                except (UnicodeDecodeError, ValueError):
                    problems.append("%s is not URL-encoded ASCII" % name)
        entry["order"] = order
        entry["fields"] = parts
        if not entry.get("filename"):
            problems.append("tracklog without file name")
        user = parts.get("login[username]")
        if user != cfg["user"]:
            problems.append("unknown user %r" % user)
        password_hash = hashlib.md5(cfg["password"].lower().encode("utf-8")).hexdigest()
        if parts.get("login[hash]") != sha1(password_hash + ticket + cfg["apiKey"] + cfg["apiSecret"]):
            problems.append("wrong login hash")
        if problems:
            entry["problems"] = problems
            log(entry)
            return self.answer({"status": 400}, json.dumps(
                {"errors": True, "messages": [{"label": "; ".join(problems)}]}).encode())
        tickets.discard(ticket)
        log(entry)
        self.answer(cfg.get("upload", {}), json.dumps(
            {"flight": {"id": 4711, "link": "https://www.xcontest.org/world/en/flights/detail:4711"}}).encode())


def main():
    global args
    parser = argparse.ArgumentParser()
    for name in ("--cert", "--key", "--config", "--log"):
        parser.add_argument(name, required=True)
    args = parser.parse_args()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    # The test holds standard input open: when it ends, however it ends, so does the server.
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
