#!/usr/bin/env python3
"""A stand-in for the maker's web services, for tests and for trying Pelidor by hand.

    python3 tests/support/services_standin.py --port 0 --state DIR [--host 127.0.0.1]

Listens on HOST:PORT (port 0: a free port) and prints the port on the first line of
standard output. Point Pelidor at it through [Services] in Config.ini:

    [Services]
    WebSite=http://127.0.0.1:PORT
    JapanSite=http://127.0.0.1:PORT
    News=http://127.0.0.1:PORT
    Statistics=http://127.0.0.1:PORT
    Feedback=http://127.0.0.1:PORT

Exchanges (answer names in brackets):
    GET  /software_update/getinfo.php?p_id=2 (or upro_id=2)  [update]  JSON object
    GET  /messages/index.php?to=checknews&pid=N               [news]    JSON object
    POST /install_statistics/index.php?p=install_statistics   [statistics]
    GET  /corvane_feedback/index.php?to=fetch-unread-message  [unread]  JSON array
    GET  /corvane_feedback/index.php?to=home|question|my-feedback|write-question
                                                              [page-<to>] HTML page
    POST /corvane_feedback/index.php?to=upload-file           [upload]  multipart post
Anything else gets 404 [other].

Answers: DIR/answers/<name>.json, read at every request, or POST /__control with
{"name": NAME, "answer": {...}} (an empty answer object restores the default). An
answer object may hold:
    body          the answer text (default: the built-in answer)
    status        HTTP status (200)
    content_type  ("application/json" for JSON answers, "text/html" for pages)
    delay         seconds to wait before answering
    hang          true: never answer (until the stand-in stops)
    close         true: close the connection without an answer
    size          pad the body with blanks to this many bytes
    no_length     true: send no Content-Length (the answer ends when the connection closes)
    drip          seconds between chunks of drip_bytes bytes (default 16) while sending

Log: every request (method, path, query, headers, body as text and base64) is appended
to DIR/log.jsonl before it is answered; GET /__log returns the entries as a JSON array,
POST /__reset empties the log.

The feedback pages link to each other, to "javascript:screenshot;",
"javascript:add-image;" and "javascript:add-file;", and define uploadBegain(name, ext)
and uploadCallback(name, answer), which record their arguments in window.pelidorCalls
and in document.title (answer decoded from its form-URL encoding).
"""

import argparse
import base64
import datetime
import html
import json
import os
import socket
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

STOP = threading.Event()
LOG_LOCK = threading.Lock()
CONTROL = {}  # name -> answer object set through /__control
STATE_DIR = "."

FEEDBACK_PAGES = ("home", "question", "my-feedback", "write-question")

PAGE_SCRIPT = """
window.pelidorCalls = [];
function pelidorRecord(entry) {
  window.pelidorCalls.push(entry);
  document.title = entry.join("|");
  var item = document.createElement("li");
  item.textContent = entry.join(" | ");
  document.getElementById("calls").appendChild(item);
}
function uploadBegain(name, ext) { pelidorRecord(["uploadBegain", name, ext]); }
function uploadCallback(name, answer) {
  var text = answer;
  try { text = decodeURIComponent(answer.replace(/\\+/g, " ")); } catch (e) {}
  pelidorRecord(["uploadCallback", name, text]);
}
"""


def feedback_page(base, to, query):
    index = base + "/corvane_feedback/index.php?to="
    params = "".join(
        "<li><code>%s</code> = <code>%s</code></li>" % (html.escape(k), html.escape(v))
        for k, v in query)
    return """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Feedback: %(to)s</title>
<script>%(script)s</script></head>
<body>
<h1 id="page">%(to)s</h1>
<ul id="query">%(params)s</ul>
<p>
<a id="link-home" href="%(index)shome">Home</a> |
<a id="link-my-feedback" href="%(index)smy-feedback">My feedback</a> |
<a id="link-question" href="%(index)squestion&amp;id=7">Question 7</a> |
<a id="link-write-question" href="%(index)swrite-question">Ask a question</a>
</p>
<p>
<a id="link-screenshot" href="javascript:screenshot;">Attach a screenshot</a> |
<a id="link-add-image" href="javascript:add-image;">Attach an image</a> |
<a id="link-add-file" href="javascript:add-file;">Attach a file</a>
</p>
<ol id="calls"></ol>
</body></html>
""" % {"to": html.escape(to), "script": PAGE_SCRIPT, "params": params, "index": index}


def default_answer(name, base, query, body):
    today = datetime.date.today().isoformat()
    if name == "update":
        return {"body": json.dumps({
            "stopped": 0, "build": 1, "url": base + "/download/pelidor.tar.gz",
            "blog_url": base + "/blog/", "update_info": "Pelidor\nNo changes."})}
    if name == "news":
        return {"body": json.dumps({"servertime": today, "news": []})}
    if name == "statistics":
        return {"body": "ok", "content_type": "text/plain"}
    if name == "unread":
        return {"body": "[]"}
    if name == "upload":
        return {"body": json.dumps({"err": "", "size": len(body)})}
    if name.startswith("page-"):
        return {"body": feedback_page(base, name[5:], query), "content_type": "text/html"}
    return {"body": "not found", "status": 404, "content_type": "text/plain"}


def exchange_name(method, path, query):
    keys = dict(query)
    if path == "/software_update/getinfo.php":
        return "update"
    if path == "/messages/index.php" and keys.get("to") == "checknews":
        return "news"
    if path == "/install_statistics/index.php" and method == "POST":
        return "statistics"
    if path == "/corvane_feedback/index.php":
        to = keys.get("to", "")
        if to == "fetch-unread-message":
            return "unread"
        if to == "upload-file" and method == "POST":
            return "upload"
        if to in FEEDBACK_PAGES:
            return "page-" + to
    return "other"


def configured_answer(name):
    if name in CONTROL:
        return CONTROL[name]
    path = os.path.join(STATE_DIR, "answers", name + ".json")
    try:
        with open(path, encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError):
        return {}


def log_path():
    return os.path.join(STATE_DIR, "log.jsonl")


def read_log():
    entries = []
    try:
        with open(log_path(), encoding="utf-8") as f:
            for line in f:
                if line.strip():
                    entries.append(json.loads(line))
    except OSError:
        pass
    return entries


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "PelidorStandIn/1"

    def log_message(self, fmt, *args):  # quiet: the log file records everything
        pass

    def do_GET(self):
        self.handle_any("GET")

    def do_POST(self):
        self.handle_any("POST")

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def send_plain(self, status, body, content_type="application/json"):
        data = body.encode("utf-8") if isinstance(body, str) else body
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def handle_any(self, method):
        parts = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qsl(parts.query, keep_blank_values=True)
        body = self.read_body()

        if parts.path == "/__log" and method == "GET":
            self.send_plain(200, json.dumps(read_log()))
            return
        if parts.path == "/__reset" and method == "POST":
            with LOG_LOCK:
                open(log_path(), "w").close()
            CONTROL.clear()
            self.send_plain(200, "{}")
            return
        if parts.path == "/__control" and method == "POST":
            try:
                request = json.loads(body.decode("utf-8"))
                if request.get("answer"):
                    CONTROL[request["name"]] = request["answer"]
                else:
                    CONTROL.pop(request["name"], None)
                self.send_plain(200, "{}")
            except (ValueError, KeyError, AttributeError):
                self.send_plain(400, '{"err":"bad control request"}')
            return

        name = exchange_name(method, parts.path, query)
        entry = {
            "method": method, "path": parts.path, "query": parts.query, "exchange": name,
            "headers": [[k, v] for k, v in self.headers.items()],
            "body": body.decode("utf-8", errors="replace"),
            "body_base64": base64.b64encode(body).decode("ascii"),
            "time": time.time(),
        }
        with LOG_LOCK:
            with open(log_path(), "a", encoding="utf-8") as f:
                f.write(json.dumps(entry) + "\n")

        base = "http://" + (self.headers.get("Host") or "127.0.0.1")
        answer = dict(default_answer(name, base, query, body))
        answer.update(configured_answer(name))
        self.answer(answer)

    def answer(self, answer):
        if answer.get("close"):
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            return
        if answer.get("hang"):
            STOP.wait(600)
            self.close_connection = True
            return
        if answer.get("delay"):
            if STOP.wait(float(answer["delay"])):
                return
        data = str(answer.get("body", "")).encode("utf-8")
        size = int(answer.get("size") or 0)
        if size > len(data):
            data += b" " * (size - len(data))
        self.send_response(int(answer.get("status", 200)))
        self.send_header("Content-Type", answer.get("content_type", "application/json"))
        if answer.get("no_length"):
            self.close_connection = True
            self.send_header("Connection", "close")
        else:
            self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        drip = float(answer.get("drip") or 0)
        try:
            if drip > 0:
                step = int(answer.get("drip_bytes") or 16)
                for i in range(0, len(data), step):
                    self.wfile.write(data[i:i + step])
                    self.wfile.flush()
                    if STOP.wait(drip):
                        return
            else:
                self.wfile.write(data)
        except OSError:
            self.close_connection = True


def main():
    global STATE_DIR
    parser = argparse.ArgumentParser(description="Stand-in for the maker's web services.")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--state", required=True, help="folder for answers/ and log.jsonl")
    args = parser.parse_args()
    STATE_DIR = args.state
    os.makedirs(os.path.join(STATE_DIR, "answers"), exist_ok=True)
    open(log_path(), "a").close()

    server = ThreadingHTTPServer((args.host, args.port), Handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)
    try:
        server.serve_forever(poll_interval=0.1)
    except KeyboardInterrupt:
        pass
    finally:
        STOP.set()
        server.server_close()


if __name__ == "__main__":
    sys.exit(main())
