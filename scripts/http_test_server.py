#!/usr/bin/python3
"""A loopback HTTP server for the core's network tests.

    http_test_server.py start --state DIR   # serve in the background; DIR/port holds the port
    http_test_server.py stop --state DIR

Paths:
  /echo            200, JSON of the request as received (method, path, headers, body)
  /status/CODE     that status with a long body
  /stall           reads the request, then never answers
  /trickle         announces 100 bytes and sends one every 200 ms
  /big             a body larger than any client should keep
  .../chat/completions   an OpenAI-compatible chat service; the request's "model" picks the
                   answer: echo (the user message back), long, length, nocontent, notjson,
                   status401, status500, stall
  .../models       model list; the API key picks it: dup (duplicates and an element without
                   id), empty, notjson, status401
  /requests        the chat and model requests received so far, as JSON
  /dl/MODE/PATH    the local file /PATH (GET and HEAD, byte ranges honoured); MODE is
                   ok or any of slow (16 KiB every 100 ms), nolength (no Content-Length, closes the
                   connection), or drop (a request without Range gets half the file, then the
                   connection is cut)
  /dl-requests     the /dl requests received so far (method, path, range), as JSON
"""
import argparse
import json
import os
import signal
import sys
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


RECEIVED = []
FILE_REQUESTS = []


def chat_answer(content=None, finish="stop", with_content=True):
    message = {"role": "assistant"}
    if with_content:
        message["content"] = content
    return json.dumps({"choices": [{"index": 0, "message": message, "finish_reason": finish}]},
                      ensure_ascii=False)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def _body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length).decode("utf-8", "replace") if length else ""

    def _send(self, status, body, content_type="application/json"):
        data = body.encode("utf-8") if isinstance(body, str) else body
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def _chat(self, body):
        try:
            request = json.loads(body)
        except ValueError:
            return self._send(400, "bad request", "text/plain")
        model = request.get("model", "")
        user = request["messages"][-1]["content"]
        if model == "echo":
            self._send(200, chat_answer("  " + user + "\n"))
        elif model == "long":
            self._send(200, chat_answer(user * 3 + "多出来的内容"))
        elif model == "length":
            self._send(200, chat_answer(user, finish="length"))
        elif model == "nocontent":
            self._send(200, chat_answer(with_content=False))
        elif model == "notjson":
            self._send(200, "<html>gateway</html>", "text/html")
        elif model.startswith("status"):
            self._send(int(model[6:]), "服务端出错了" + "y" * 500, "text/plain")
        elif model == "stall":
            time.sleep(60)
        else:
            self._send(404, "unknown model", "text/plain")

    def _models(self):
        key = (self.headers.get("Authorization") or "").removeprefix("Bearer ")
        if key == "dup":
            self._send(200, json.dumps({"data": [{"id": "b"}, {"id": "a"}, {"id": "a"}, {"x": 1}]}))
        elif key == "empty":
            self._send(200, json.dumps({"data": []}))
        elif key == "notjson":
            self._send(200, "not json at all", "text/plain")
        elif key.startswith("status"):
            self._send(int(key[6:]), "denied", "text/plain")
        else:
            self._send(200, json.dumps({"data": [{"id": "deepseek-chat"}]}))

    def _file(self, head):
        _, _, mode, rest = self.path.split("/", 3)
        path = "/" + rest
        byte_range = self.headers.get("Range")
        FILE_REQUESTS.append({"method": self.command, "path": self.path, "range": byte_range})
        try:
            with open(path, "rb") as f:
                data = f.read()
        except OSError:
            return self._send(404, "" if head else "no such file", "text/plain")
        start = 0
        if byte_range and byte_range.startswith("bytes="):
            start = int(byte_range[6:].split("-")[0] or 0)
            if start >= len(data):
                self.send_response(416)
                self.send_header("Content-Range", "bytes */%d" % len(data))
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            self.send_response(206)
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, len(data) - 1, len(data)))
        else:
            self.send_response(200)
        body = data[start:]
        if "nolength" in mode:
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(len(body)))
        self.send_header("Accept-Ranges", "bytes")
        self.end_headers()
        if head:
            return
        if "drop" in mode and not byte_range:
            self.wfile.write(body[:len(body) // 2])
            self.wfile.flush()
            self.close_connection = True
            self.connection.shutdown(2)
            return
        step = 16 << 10 if "slow" in mode else len(body) or 1
        for i in range(0, len(body), step):
            self.wfile.write(body[i:i + step])
            self.wfile.flush()
            if "slow" in mode:
                time.sleep(0.1)

    def _route(self):
        if self.path.startswith("/dl/"):
            return self._file(head=False)
        if self.path == "/dl-requests":
            return self._send(200, json.dumps(FILE_REQUESTS))
        body = self._body()
        path = self.path
        if path.endswith("/chat/completions") or path.endswith("/models"):
            headers = {k.lower(): v for k, v in self.headers.items()}
            RECEIVED.append({"method": self.command, "path": path, "headers": headers, "body": body})
            return self._chat(body) if path.endswith("/chat/completions") else self._models()
        if path == "/requests":
            return self._send(200, json.dumps(RECEIVED, ensure_ascii=False))
        if path == "/echo":
            headers = {k.lower(): v for k, v in self.headers.items()}
            self._send(200, json.dumps({"method": self.command, "path": path,
                                        "headers": headers, "body": body}, ensure_ascii=False))
        elif path.startswith("/status/"):
            self._send(int(path.split("/")[2]), "错误详情 " + "x" * 100000, "text/plain")
        elif path == "/stall":
            time.sleep(60)
        elif path == "/trickle":
            self.send_response(200)
            self.send_header("Content-Length", "100")
            self.end_headers()
            for _ in range(100):
                self.wfile.write(b"a")
                self.wfile.flush()
                time.sleep(0.2)
        elif path == "/big":
            self._send(200, b"b" * (17 << 20), "text/plain")
        else:
            self._send(404, "not found", "text/plain")

    def do_GET(self):
        self._route()

    def do_POST(self):
        self._route()

    def do_HEAD(self):
        if self.path.startswith("/dl/"):
            return self._file(head=True)
        self.send_response(405)
        self.send_header("Content-Length", "0")
        self.end_headers()


def start(state):
    os.makedirs(state, exist_ok=True)
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    if os.fork() > 0:
        # Parent: report once the child is serving (the socket is already bound).
        port_file = os.path.join(state, "port")
        with open(port_file + ".tmp", "w") as f:
            f.write(str(server.server_address[1]))
        os.replace(port_file + ".tmp", port_file)
        return
    os.setsid()
    with open(os.path.join(state, "pid"), "w") as f:
        f.write(str(os.getpid()))
    devnull = os.open(os.devnull, os.O_RDWR)
    for fd in (0, 1, 2):
        os.dup2(devnull, fd)
    # Never outlive a forgotten test run.
    signal.signal(signal.SIGALRM, lambda *_: os._exit(0))
    signal.alarm(1800)
    server.serve_forever()


def stop(state):
    try:
        with open(os.path.join(state, "pid")) as f:
            os.kill(int(f.read()), signal.SIGTERM)
    except (OSError, ValueError):
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("action", choices=["start", "stop"])
    parser.add_argument("--state", required=True)
    args = parser.parse_args()
    (start if args.action == "start" else stop)(args.state)


if __name__ == "__main__":
    sys.exit(main())
