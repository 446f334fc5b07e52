"""A scripted model endpoint on loopback for running the real agent CLIs offline.

It speaks just enough of the Anthropic Messages API (Claude Code, via
ANTHROPIC_BASE_URL) and the OpenAI Responses API (Codex, via a model provider
in config.toml) to drive one scripted conversation per prompt: the script
whose `match` text appears in the conversation's first user message decides
which tool calls the model makes, one step per model turn, and what it says
when the steps run out. Anything it does not recognise (title or topic
requests the agents make on their own) gets a short text answer.

Script file (JSON):
  {"scripts": [{"match": "make two files",
                "steps": [{"tool": "Bash", "input": {"command": "touch a"}},
                          {"tool": "Bash", "input": {"command": "touch b"}, "delay": 0.5}],
                "final": "Made both files."}]}
For Codex, a Bash step becomes an exec_command function call. Only what the
pinned agents send is answered (both stream every model turn); anything else
gets a 404 and a line in the log.

Run: model_endpoint.py SCRIPT.json PORTFILE LOGFILE; it writes its port to
PORTFILE once it listens and logs one JSON line per request to LOGFILE.
"""

import json
import os
import sys
import threading
import uuid
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


def find_script(scripts, first_user_text):
    for script in scripts:
        if script.get("match") and first_user_text.strip().startswith(script["match"]):
            return script
    return None


def text_of(content):
    if isinstance(content, str):
        return content
    parts = []
    for block in content or []:
        if isinstance(block, dict):
            # Agents add their own context as extra text blocks ("<system-reminder>…"),
            # and Claude notes a refused tool call as one.
            text = block.get("text", "")
            if block.get("type") in ("text", "input_text", "output_text") and not text.lstrip().startswith(
                    ("<", "[Request interrupted")):
                parts.append(text)
    return "\n".join(parts)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def _log(self, entry):
        with self.server.log_lock, open(self.server.log_path, "a") as f:
            f.write(json.dumps(entry) + "\n")

    def _body(self):
        length = int(self.headers.get("Content-Length") or 0)
        raw = self.rfile.read(length) if length else b""
        try:
            return json.loads(raw or b"{}")
        except ValueError:
            return {}

    def do_POST(self):
        body = self._body()
        path = self.path.split("?")[0]
        if path.endswith("/v1/messages") and body.get("stream"):
            return self.anthropic(body)
        if path.endswith("/responses"):
            return self.openai(body)
        self._log({"method": "POST", "path": self.path, "stream": body.get("stream")})
        self.send_error(404)

    # -- Anthropic Messages -------------------------------------------------

    def anthropic(self, body):
        # The latest prompt picks the script; the tool results since then say
        # how far along it the turn is.
        first, done = "", 0
        for m in body.get("messages") or []:
            if m.get("role") != "user":
                continue
            content = m.get("content")
            results = [b for b in content if isinstance(b, dict) and b.get("type") == "tool_result"] \
                if isinstance(content, list) else []
            done += len(results)
            # After a refused call Claude sends the next prompt in the same
            # message as the refused call's result.
            if text_of(content).strip():
                first, done = text_of(content), 0
        script = find_script(self.server.scripts, first)
        self._log({"api": "anthropic", "model": body.get("model"), "first": first[:200],
                   "toolResults": done, "scripted": bool(script)})
        blocks = []
        if script is None:
            blocks.append({"type": "text", "text": "OK."})
        else:
            step = step_after(script, done)
            if step is None:
                blocks.append({"type": "text", "text": script.get("final", "Done.")})
            else:
                blocks.append({"type": "tool_use", "id": "toolu_" + uuid.uuid4().hex[:20],
                               "name": step["tool"], "input": step.get("input", {})})
        stop = "tool_use" if any(b["type"] == "tool_use" for b in blocks) else "end_turn"
        self.anthropic_stream(body, blocks, stop)

    def start_event_stream(self):
        # Both APIs stream server-sent events on a connection that ends with the answer.
        self.send_response(200)
        self.send_header("Content-Type", "text/event-stream")
        self.send_header("Cache-Control", "no-cache")
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True

    def anthropic_stream(self, body, blocks, stop):
        self.start_event_stream()

        def event(name, data):
            self.wfile.write(("event: %s\ndata: %s\n\n" % (name, json.dumps(data))).encode())
            self.wfile.flush()

        event("message_start", {"type": "message_start", "message": {
            "id": "msg_" + uuid.uuid4().hex[:20], "type": "message", "role": "assistant",
            "model": body.get("model", "claude"), "content": [], "stop_reason": None,
            "stop_sequence": None, "usage": {"input_tokens": 10, "output_tokens": 1}}})
        for i, b in enumerate(blocks):
            if b["type"] == "text":
                event("content_block_start", {"type": "content_block_start", "index": i,
                                              "content_block": {"type": "text", "text": ""}})
                event("content_block_delta", {"type": "content_block_delta", "index": i,
                                              "delta": {"type": "text_delta", "text": b["text"]}})
            else:
                event("content_block_start", {"type": "content_block_start", "index": i,
                                              "content_block": {"type": "tool_use", "id": b["id"],
                                                                "name": b["name"], "input": {}}})
                event("content_block_delta", {"type": "content_block_delta", "index": i,
                                              "delta": {"type": "input_json_delta",
                                                        "partial_json": json.dumps(b["input"])}})
            event("content_block_stop", {"type": "content_block_stop", "index": i})
        event("message_delta", {"type": "message_delta", "delta": {"stop_reason": stop, "stop_sequence": None},
                                "usage": {"output_tokens": 5}})
        event("message_stop", {"type": "message_stop"})

    # -- OpenAI Responses ---------------------------------------------------

    def openai(self, body):
        first, done = "", 0
        for it in body.get("input") or []:
            if not isinstance(it, dict):
                continue
            if it.get("type") in (None, "message") and it.get("role") == "user":
                t = text_of(it.get("content"))
                # Codex sends its environment and instructions as user messages of their own.
                if t.strip() and not t.lstrip().startswith("<") and not t.lstrip().startswith("#"):
                    first, done = t, 0
            if it.get("type") == "function_call_output":
                done += 1
        script = find_script(self.server.scripts, first)
        tools = [t.get("name") or t.get("type") for t in body.get("tools") or [] if isinstance(t, dict)]
        self._log({"api": "openai", "model": body.get("model"), "first": first[:200], "toolResults": done,
                   "scripted": bool(script), "tools": tools})
        outputs = []
        if script is None:
            outputs.append(("text", "OK."))
        else:
            step = step_after(script, done)
            outputs.append(("text", script.get("final", "Done.")) if step is None else ("call", step))
        self.openai_stream(outputs)

    def openai_stream(self, outputs):
        self.start_event_stream()
        rid = "resp_" + uuid.uuid4().hex[:20]

        def event(data):
            self.wfile.write(("event: %s\ndata: %s\n\n" % (data["type"], json.dumps(data))).encode())
            self.wfile.flush()

        event({"type": "response.created", "response": {"id": rid, "object": "response", "status": "in_progress"}})
        for kind, value in outputs:
            if kind == "text":
                item = {"type": "message", "role": "assistant", "id": "msg_" + uuid.uuid4().hex[:16],
                        "status": "completed", "content": [{"type": "output_text", "text": value, "annotations": []}]}
                event({"type": "response.output_item.added", "output_index": 0, "item": dict(item, content=[])})
                event({"type": "response.output_text.delta", "output_index": 0, "content_index": 0,
                       "item_id": item["id"], "delta": value})
                event({"type": "response.output_item.done", "output_index": 0, "item": item})
            else:
                item = codex_call(value)
                event({"type": "response.output_item.done", "output_index": 0, "item": item})
        event({"type": "response.completed", "response": {
            "id": rid, "object": "response", "status": "completed",
            "usage": {"input_tokens": 10, "input_tokens_details": {"cached_tokens": 0},
                      "output_tokens": 5, "output_tokens_details": {"reasoning_tokens": 0}, "total_tokens": 15}}})


def codex_call(call):
    cid = "call_" + uuid.uuid4().hex[:20]
    return {"type": "function_call", "id": "fc_" + cid, "call_id": cid, "name": "exec_command",
            "arguments": json.dumps({"cmd": call["input"]["command"]}), "status": "completed"}


def step_after(script, done):
    """The step to answer with once `done` tool results have come back."""
    steps = script.get("steps") or []
    return steps[done] if done < len(steps) else None


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main(argv):
    scripts, port_file = argv[1], argv[2]
    server = Server(("127.0.0.1", 0), Handler)
    with open(scripts) as f:
        server.scripts = json.load(f)["scripts"]
    server.log_path = argv[3]
    server.log_lock = threading.Lock()
    tmp = port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(tmp, port_file)
    server.serve_forever()


if __name__ == "__main__":
    main(sys.argv)
