"""Runs the real relay.py on loopback with a throw-away HOME, the way it is installed."""

import http.client
import json
import os
import shutil
import signal
import socket
import ssl
import subprocess
import tempfile
import time
import types

HERE = os.path.dirname(os.path.abspath(__file__))
RESOURCES = os.path.normpath(os.path.join(HERE, "..", "..", "resources"))


def load_relay(name="relay_in_process"):
    """relay.py as a module of this process, to drive its parts directly."""
    path = os.path.join(RESOURCES, "relay.py")
    module = types.ModuleType(name)
    module.__file__ = path
    with open(path, encoding="utf-8") as f:
        exec(compile(f.read(), path, "exec"), module.__dict__)
    return module
PYTHON = "/usr/bin/python3"


def wait_for(predicate, what, limit=15.0):
    """Polls until predicate() gives a true value; the limit only bounds a hang."""
    end = time.monotonic() + limit
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError("gave up waiting for " + what)
        time.sleep(0.05)


def clean_env(home):
    env = dict((k, v) for k, v in os.environ.items() if "proxy" not in k.lower())
    env["HOME"] = home
    env["PYTHONDONTWRITEBYTECODE"] = "1"
    return env


def install_files(relay_home):
    """Lays the six files out as the application's installer does."""
    hooks = os.path.join(relay_home, "bin", "hooks")
    os.makedirs(hooks, mode=0o700, exist_ok=True)
    for name in ("relay.py", "apns.py"):
        shutil.copy(os.path.join(RESOURCES, name), os.path.join(relay_home, "bin", name))
    for name in ("claude-hook.sh", "claude-permission-hook.sh", "codex-notify.sh", "claude-settings.example.json"):
        shutil.copy(os.path.join(RESOURCES, name), os.path.join(hooks, name))
        os.chmod(os.path.join(hooks, name), 0o755 if name.endswith(".sh") else 0o644)


class Relay(object):
    """start=False leaves the starting to someone else (the tray application's
    service manager); attach() then waits for that relay."""

    def __init__(self, tls=False, start=True, **config):
        self.home = tempfile.mkdtemp(prefix="relay-test-")
        self.dir = os.path.join(self.home, ".idlewyn-relay")
        install_files(self.dir)
        self.config = {"port": 0, "tls": tls, "host": "127.0.0.1", "advertiseHost": "127.0.0.1"}
        self.config.update(config)
        with open(self.path("config.json"), "w") as f:
            json.dump(self.config, f)
        self.proc = None
        if start:
            self.start()

    def path(self, name):
        return os.path.join(self.dir, name)

    def read(self, name):
        with open(self.path(name)) as f:
            return f.read().strip()

    def start(self):
        if os.path.exists(self.path("relay-url")):
            os.unlink(self.path("relay-url"))
        self.log = open(self.path("relay.log"), "ab")
        self.proc = subprocess.Popen([PYTHON, self.path("bin/relay.py")], env=clean_env(self.home),
                                     stdout=self.log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        self.attach()

    def attach(self, limit=15.0):
        def up():
            if self.proc is not None and self.proc.poll() is not None:
                raise AssertionError("relay exited with %s:\n%s" % (self.proc.returncode, self.read("relay.log")))
            if not os.path.exists(self.path("relay-url")):
                return False
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return True
            except OSError:
                return False
        wait_for(up, "the relay to listen", limit)
        self.secret = self.read("hook-secret")
        self.hook_token = self.read("hook-token")

    def detached_pid(self):
        """The relay a service manager started in a session of its own."""
        try:
            with open(self.path("relay.pid")) as f:
                pid = int(f.read().split()[0])
            with open("/proc/%d/cmdline" % pid, "rb") as f:
                return pid if self.path("bin/relay.py").encode() in f.read() else None
        except (OSError, ValueError, IndexError):
            return None

    def stop(self, sig=signal.SIGTERM):
        if self.proc is None:
            return None
        self.proc.send_signal(sig)
        code = self.proc.wait(timeout=20)
        self.proc = None
        self.log.close()
        return code

    def close(self):
        if self.proc is not None:
            self.proc.kill()
            self.proc.wait()
            self.log.close()
            self.proc = None
        pid = self.detached_pid()
        if pid:
            os.kill(pid, signal.SIGKILL)
            wait_for(lambda: not os.path.exists("/proc/%d" % pid) or self.detached_pid() is None,
                     "the detached relay to end")
        shutil.rmtree(self.home, ignore_errors=True)

    @property
    def url(self):
        return self.read("relay-url")

    @property
    def port(self):
        return int(self.url.rsplit(":", 1)[1])

    def connection(self, timeout=10, source=None):
        """A client connection to the device port; source: the address it comes from."""
        source_address = (source, 0) if source else None
        if self.url.startswith("https:"):
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
            context.check_hostname = False
            context.verify_mode = ssl.CERT_NONE
            conn = http.client.HTTPSConnection("127.0.0.1", self.port, timeout=timeout, context=context,
                                               source_address=source_address)
            conn.connect()
            # Pin check: the served certificate must be the one relay-cert.pem holds.
            with open(self.path("relay-cert.pem")) as f:
                pinned = ssl.PEM_cert_to_DER_cert(f.read())
            if conn.sock.getpeercert(binary_form=True) != pinned:
                conn.close()
                raise ssl.SSLError("certificate does not match the pin")
            return conn
        return http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout, source_address=source_address)

    def request(self, method, path, body=None, token=None, secret=None, raw=None, **connection):
        """One request on a fresh connection(**connection); returns (status, decoded JSON body)."""
        hdrs = {"Content-Type": "application/json"}
        if token is not None:
            hdrs["Authorization"] = "Bearer " + token
        if secret is not None:
            hdrs["X-Idlewyn-Secret"] = secret
        data = raw if raw is not None else (None if body is None else json.dumps(body).encode())
        conn = self.connection(**connection)
        try:
            conn.request(method, "/" + path, data, hdrs)
            response = conn.getresponse()
            payload = response.read()
            self.last_headers = dict(response.getheaders())
            return response.status, (json.loads(payload) if payload else None)
        finally:
            conn.close()

    def raw(self, data, source="127.0.0.1"):
        """Sends these bytes from source on a fresh plain connection, then closes the sending side; returns
        all that the relay answered, even when it hung up before it read everything."""
        with socket.socket() as s:
            s.settimeout(30)
            s.bind((source, 0))
            reply, chunk = b"", b"-"
            try:
                s.connect(("127.0.0.1", self.port))
                s.sendall(data)
                s.shutdown(socket.SHUT_WR)
            except OSError:
                pass
            while chunk:
                try:
                    chunk = s.recv(65536)
                except OSError:
                    break
                reply += chunk
            return reply

    def admin(self, method, path, body=None):
        return self.request(method, path, body, secret=self.secret)

    def status(self):
        code, doc = self.admin("GET", "v1/admin/status")
        assert code == 200, (code, doc)
        return doc

    def pair(self, provider="claude"):
        code, body = self.request("POST", "v1/pair", {"provider": provider, "code": self.status()["pairingCode"]})
        assert code == 200, (code, body)
        return body["token"]

    def set_away(self, on):
        assert self.admin("POST", "v1/admin/settings", {"remoteApprovals": on}) == (200, {"remoteApprovals": on})

    def sessions(self, token, provider="claude"):
        code, body = self.request("GET", "v1/sessions?provider=" + provider, token=token)
        assert code == 200, (code, body)
        return dict((s["id"], s) for s in body["sessions"])

    def report(self, provider, payload):
        """Reports a hook event the way the hook scripts do, without a process."""
        code, body = self.request("POST", "v1/hooks/" + provider, payload, secret=self.hook_token)
        assert code == 200, (code, body)

    def hook(self, script, payload=None, args=(), wait=True, raw=None, socket_stdin=False):
        """Runs an installed hook script as the agent would: payload (or the bytes raw) on its stdin, a
        pipe or a socket as Node gives one. wait=False returns the process, in a process group of its
        own so that a test can kill the hook with its Python child, as an agent would."""
        data = raw if raw is not None else b"" if payload is None else json.dumps(payload).encode()
        ours, theirs = socket.socketpair() if socket_stdin else (None, subprocess.PIPE)
        proc = subprocess.Popen([self.path("bin/hooks/" + script)] + list(args), env=clean_env(self.home),
                                stdin=theirs, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                start_new_session=True)
        if ours is None:
            proc.stdin.write(data)
            proc.stdin.close()
        else:
            theirs.close()
            with ours:
                ours.sendall(data)
        if not wait:
            return proc
        out = proc.stdout.read().decode()
        proc.stdout.close()
        proc.stderr.close()
        return proc.wait(timeout=60), out
