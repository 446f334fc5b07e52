"""Push notifications for paired phones, sent through the push gateway.

The relay never talks to the platform's push service itself: it hands each
notification to the gateway configured as "pushGateway" in config.json,
together with the device token and the key the gateway issued for it when
the phone registered. Without a gateway, push is simply off.

Gateway request: POST <pushGateway>/v1/push with a JSON body
  {"token", "environment", "kind", "deviceID", "pushKey"?, "alert": {"title", "body"},
   "session": <the session as the relay's device API shows it>}
Delivery is best effort: one background worker, a short queue that drops
when full, a 10 second timeout, failures logged and never retried.
"""

import json
import queue
import threading
import urllib.error
import urllib.parse
import urllib.request

QUEUE_LIMIT = 200
TIMEOUT = 10


def gateway_url(base):
    """The gateway's push endpoint, or None when base is not a usable URL."""
    if not isinstance(base, str) or not base.strip():
        return None
    parts = urllib.parse.urlsplit(base.strip())
    if parts.scheme not in ("http", "https") or not parts.hostname:
        return None
    return base.strip().rstrip("/") + "/v1/push"


PROVIDER_NAMES = {"claude": "Claude Code", "codex": "Codex"}


def alert_for(session):
    """Title and body a person sees for a session that needs their attention."""
    name = session.get("title") or "Session"
    directory = session.get("workingDirectory")
    if directory and directory.rstrip("/"):
        name = directory.rstrip("/").rsplit("/", 1)[-1]
    agent = PROVIDER_NAMES.get(session.get("provider"), "Agent")
    status = session.get("status")
    permission = session.get("permission")
    if status == "waitingForInput":
        title = "%s needs input \u00b7 %s" % (agent, name)
        if permission:
            body = "%s: %s" % (permission.get("toolName", ""), permission.get("detail", ""))
        else:
            body = session.get("activity") or "Waiting for your answer in the terminal."
    elif status == "failed":
        title = "%s failed \u00b7 %s" % (agent, name)
        body = session.get("summary") or "The turn ended with an error."
    else:
        title = "%s finished \u00b7 %s" % (agent, name)
        body = session.get("summary") or "Ready for the next prompt."
    if len(body) > 240:
        body = body[:239] + "\u2026"
    return {"title": title, "body": body}


class PushGateway(object):
    def __init__(self, base, log):
        self.url = gateway_url(base)
        self.log = log
        if base and not self.url:
            log("pushGateway %r is not an http(s) URL; push notifications are off" % base)
        self._queue = queue.Queue(QUEUE_LIMIT)
        self._worker = None
        self._lock = threading.Lock()

    @property
    def configured(self):
        return self.url is not None

    def send_session(self, registrations, session):
        """Queues one notification per registration; never blocks the caller."""
        if not self.configured:
            return
        alert = alert_for(session)
        for reg in registrations:
            message = {"token": reg.get("token"), "environment": reg.get("environment"),
                       "kind": reg.get("kind"), "deviceID": reg.get("deviceID"),
                       "alert": alert, "session": session}
            if reg.get("pushKey"):
                message["pushKey"] = reg["pushKey"]
            try:
                self._queue.put_nowait(message)
            except queue.Full:
                self.log("push queue full; a notification was dropped")
                return
        self._ensure_worker()

    def _ensure_worker(self):
        with self._lock:
            if self._worker is None or not self._worker.is_alive():
                self._worker = threading.Thread(target=self._run, name="push", daemon=True)
                self._worker.start()

    def _run(self):
        while True:
            message = self._queue.get()
            try:
                self._post(message)
            except Exception as exc:
                self.log("push to %s failed: %s" % (self.url, exc))

    def _post(self, message):
        request = urllib.request.Request(
            self.url, data=json.dumps(message).encode("utf-8"), method="POST",
            headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(request, timeout=TIMEOUT) as response:
                response.read(65536)
        except urllib.error.HTTPError as exc:
            self.log("push gateway answered HTTP %d" % exc.code)
