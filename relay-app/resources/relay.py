#!/usr/bin/env python3
"""Vesperline relay: the local server between coding agents and paired phones.

Claude Code and Codex report their sessions through hooks (the scripts in
bin/hooks); phones read those sessions over the device API and may answer
Claude's permission prompts while away mode is on; the menu-bar application
reads the status document through the loopback-only admin API.

Usage:
  relay.py                        serve until SIGTERM or SIGINT (then exit 0)
  relay.py install-hooks [--dry-run]
  relay.py hook claude-permission-wait PROMPT-ID SECONDS
                                  run by claude-permission-hook.sh for a held
                                  prompt; never fails the agent

Files in ~/.idlewyn-relay (HOME decides where that is):
  hook-secret      admin secret (made on first start, 0600)
  hook-token       what the hooks send; opens only the hook routes (0600)
  relay-url        where this machine reaches the relay; written once the port
                   is open, removed on a clean exit
  local-port       port of the plain-http listener on 127.0.0.1 that serves the
                   hooks and the admin API (never phones); same lifetime (0600)
  relay-cert.pem   self-signed certificate when serving https (relay-key.pem 0600)
  state.json       sessions, held prompts, away mode (0600)
  tokens.json      paired phones as SHA-256 token hashes, push registrations (0600)
  NAME.refused-DATE  state.json or tokens.json as it was when some of its
                   records could not be used (each one is named in the log)
  NAME.broken-TIME   the same for a file that could not be read at all
  config.json      optional settings, every key optional, unknown keys ignored:
                   port (8787; 0 = any free port), host, tls, advertiseHost,
                   pushGateway, permissionTimeout (300 s), pairingCodeLifetime
                   (600 s), staleAfter (900 s), expireAfter (6 h),
                   keepEndedFor (600 s: how long an ended session stays listed),
                   unusedTokenLifetime (1 day: how long a token the phone
                   has not used yet stays paired; its pairing reply may
                   never have reached the phone), logLimit (2 MiB)
The log goes to stderr; the service manager sends it to relay.log. When it
does, the relay itself moves relay.log to relay.log.1 past logLimit bytes.
What the requests of one address add to the log is bounded too.

Standard library only; runs on Python 3.9 or later. One file, in sections
that each own one concern: helpers and configuration; JsonStore (a file on
disk); reading the agents' hook data (pure functions); SessionBoard
(sessions, prompts, away mode; state.json); PairingBook (code, tokens, push
registrations; tokens.json); PushDispatch; Relay, which composes them and
documents the lock order; the HTTP layer with its route table; serving; the
hook client; install-hooks with its TOML scanner.
"""

import datetime
import errno
import hashlib
import hmac
import io
import ipaddress
import json
import os
import re
import secrets
import select
import shlex
import shutil
import signal
import socket
import ssl
import stat
import struct
import subprocess
import sys
import threading
import time
import urllib.parse
from http.client import HTTPConnection
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

VERSION = "1.0.0"

HOME_DIR_NAME = ".idlewyn-relay"
MAX_BODY = 1 << 20
# Hooks send the agent's whole event, tool output included, and cannot trim
# it from a shell: the loopback listener takes (and throws away) more.
MAX_LOCAL_BODY = 64 << 20
PROVIDERS = ("claude", "codex")
# The session statuses, as the phones decode them.
WORKING, WAITING, FINISHED, FAILED, IDLE = "working", "waitingForInput", "finished", "failed", "idle"
STATUSES = (WORKING, WAITING, FINISHED, FAILED, IDLE)
# A turn is under way: the agent works, or waits on a person.
TURN_STATUSES = (WORKING, WAITING)
DECISIONS = ("allow", "deny", "always")

# Claude runs the permission hook with this timeout (seconds); the relay must
# always give up on a held prompt before Claude kills the hook.
PERMISSION_HOOK_TIMEOUT = 600
MAX_PERMISSION_TIMEOUT = PERMISSION_HOOK_TIMEOUT - 30
# One long-poll of a waiting permission hook; short enough that a relay
# restart is noticed quickly, long enough to keep the polling cheap.
WAIT_SLICE = 20.0
# A held prompt whose hook stopped polling this long ago has nobody left to
# hand an answer to.
ABANDONED_AFTER = 10.0
HOOK_CHECK_EVERY = 0.5

PAIR_FAILURE_LIMIT = 5
PAIR_FAILURE_WINDOW = 60.0
# Wrong codes from all addresses together rotate the code, so that guessing
# from many addresses gains nothing.
PAIR_GLOBAL_FAILURE_LIMIT = 30
CODE_ALPHABET = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789"

# The device server. A phone's app, its widgets and its live activity each
# keep at most a handful of connections to one host (six per pool on the
# phones we know), so even two phones behind one NAT stay well below this; a
# single address holding more is not a phone, and it must not take the
# capacity that everyone else shares.
MAX_CONNECTIONS_PER_ADDRESS = 32
# A client gets this long to finish its TLS handshake, and then each request
# (line, headers and body) from its first byte on. Phones give up on a
# request after 10 s themselves, so nothing slower is ever answered to anyone;
# a connection that drips bytes to stay open is shed instead of holding a
# thread for as long as it likes.
REQUEST_DEADLINE = 10.0

MAX_SESSIONS = 200
MAX_PUSH_PER_TOKEN = 16
LAST_SEEN_PERSIST_EVERY = 60.0

DEFAULTS = {
    "port": 8787,
    "permissionTimeout": 300.0,
    "pairingCodeLifetime": 600.0,
    "staleAfter": 900.0,
    "expireAfter": 6 * 3600.0,
    "keepEndedFor": 600.0,
    "unusedTokenLifetime": 86400.0,
    # Bytes: relay.log moves to relay.log.1 past this size.
    "logLimit": 2 << 20,
}

# How often the relay looks at what the agents left behind while a terminal
# dialog is open (their transcripts, their tool processes).
TERMINAL_WATCH_EVERY = 0.25
# Codex's TUI names each thread with a model turn of its own, on a thread of
# its own; its notify call is not a session of the user's.
CODEX_TITLE_TURN = "Generate a concise, single-line task title"

# ---------------------------------------------------------------------------
# Small helpers


_log_lock = threading.Lock()
# Set by serve() when relay.log is the relay's own standard error.
_log_rotation = None


def log(message):
    stamp = time.strftime("%Y-%m-%d %H:%M:%S", time.localtime())
    with _log_lock:
        try:
            sys.stderr.write("%s %s\n" % (stamp, message))
            sys.stderr.flush()
        except (OSError, ValueError):
            pass
        if _log_rotation is not None:
            _log_rotation.check()


class LogRotation(object):
    """Keeps relay.log to a bounded size while it is this process's output.

    The service manager (or the app, for a detached relay) opens relay.log
    for appending and hands it over as stdout and stderr, and nobody else
    ever trims it. Past the limit the file moves to relay.log.1 (replacing
    the one before) and a new relay.log takes its place on the same
    descriptors, so whatever writes to them, tracebacks included, goes on
    into the new file, and a restarted relay's redirect finds it by name.
    """

    def __init__(self, path, limit, descriptors):
        self.path = path
        self.limit = limit
        self.descriptors = descriptors

    @classmethod
    def of_output(cls, path, limit):
        """A rotation for path when stderr writes to it, else None (a terminal, a pipe, another file)."""
        try:
            named = os.stat(path)
        except OSError:
            return None
        mine = []
        for fd in (1, 2):
            try:
                st = os.fstat(fd)
            except OSError:
                continue
            if stat.S_ISREG(st.st_mode) and (st.st_dev, st.st_ino) == (named.st_dev, named.st_ino):
                mine.append(fd)
        return cls(path, limit, mine) if 2 in mine else None

    def check(self):
        """Called with the log lock held, after each line."""
        try:
            if os.fstat(2).st_size < self.limit:
                return
            os.replace(self.path, self.path + ".1")
            fd = os.open(self.path, os.O_WRONLY | os.O_APPEND | os.O_CREAT, 0o600)
        except OSError:
            return
        try:
            for target in self.descriptors:
                os.dup2(fd, target)
        finally:
            os.close(fd)


def home_dir():
    return os.path.join(os.environ.get("HOME") or os.path.expanduser("~"), HOME_DIR_NAME)


def iso_ms(t):
    """Relay wire date: UTC, exactly three fractional digits, "Z"."""
    total = int(round(t * 1000))
    seconds, millis = divmod(total, 1000)
    return time.strftime("%Y-%m-%dT%H:%M:%S", time.gmtime(seconds)) + ".%03dZ" % millis


def iso_s(t):
    return time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(int(t)))


def wire_time(t, form=iso_ms):
    """A time as clients read it, or ValueError for one outside what they read."""
    if not is_instant(t):
        raise ValueError("time %s out of range" % shown(t))
    return form(t)


def one_line(text, limit):
    text = " ".join(str(text).split())
    if len(text) > limit:
        text = text[: limit - 1].rstrip() + "\u2026"
    return text


# The name atomic_write gives its temporary file beside path, and what that
# name looks like: the two must change together.
TEMPORARY_NAME = "%s.tmp-%d-%s"
TEMPORARY_PATTERN = re.compile(r"^(?P<name>.+)\.tmp-[0-9]+-[0-9a-f]{8}$")
# The files of the relay's home that the serving relay writes through
# atomic_write, and the certificate's own temporaries: only these
# leftovers are ours to remove.
ATOMIC_FILES = ("hook-secret", "hook-token", "relay-url", "local-port", "state.json", "tokens.json")
CERTIFICATE_TEMPORARIES = ("relay-cert.pem.new", "relay-key.pem.new")


def atomic_write(path, data, mode=0o600):
    """Readers see the old file or the new one, never half of either."""
    if isinstance(data, str):
        data = data.encode("utf-8")
    tmp = TEMPORARY_NAME % (path, os.getpid(), secrets.token_hex(4))
    fd = os.open(tmp, os.O_WRONLY | os.O_CREAT | os.O_EXCL, mode)
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
            f.flush()
            os.fsync(f.fileno())
        os.chmod(tmp, mode)
        os.replace(tmp, path)
    except BaseException:
        try:
            os.unlink(tmp)
        except OSError:
            pass
        raise


def remove_leftover_temporaries(home):
    """Removes what writes cut short by a crash or kill -9 left in the home.

    Only while holding relay.lock: every file named here is written by the
    serving relay alone, so with the lock held no write of them is under way.
    """
    try:
        names = os.listdir(home)
    except OSError:
        return
    for name in names:
        match = TEMPORARY_PATTERN.match(name)
        if not (match and match.group("name") in ATOMIC_FILES) and name not in CERTIFICATE_TEMPORARIES:
            continue
        path = os.path.join(home, name)
        try:
            if stat.S_ISREG(os.lstat(path).st_mode):
                os.unlink(path)
                log("removed %s, left by a write that was cut short" % name)
        except OSError as exc:
            log("could not remove %s: %s" % (name, exc))


def read_text(path):
    try:
        with open(path, "r", encoding="utf-8") as f:
            return f.read().strip()
    except (OSError, UnicodeDecodeError):
        return None


def fingerprint_of_pem(path):
    """SHA-256 of the certificate's DER bytes, 64 lower-case hex digits."""
    try:
        with open(path, "r", encoding="ascii") as f:
            der = ssl.PEM_cert_to_DER_cert(f.read())
    except (OSError, ValueError, UnicodeDecodeError):
        return None
    return hashlib.sha256(der).hexdigest()


def is_loopback(address):
    try:
        ip = ipaddress.ip_address(address.split("%", 1)[0])
    except ValueError:
        return False
    mapped = getattr(ip, "ipv4_mapped", None)
    return (mapped or ip).is_loopback


def hash_token(token):
    return hashlib.sha256(token.encode("utf-8")).hexdigest()


def normalize_code(code):
    return "".join(ch for ch in code.upper() if ch.isalnum())


# ---------------------------------------------------------------------------
# Configuration and home directory


def _number(value):
    return isinstance(value, (int, float)) and not isinstance(value, bool)


def load_config(home):
    path = os.path.join(home, "config.json")
    raw = {}
    if os.path.exists(path):
        try:
            with open(path, "r", encoding="utf-8") as f:
                raw = json.load(f)
            if not isinstance(raw, dict):
                raise ValueError("not a JSON object")
        except (OSError, ValueError) as exc:
            log("config.json ignored (%s); using defaults" % exc)
            raw = {}
    cfg = dict(DEFAULTS)
    checks = {
        "port": lambda v: isinstance(v, int) and not isinstance(v, bool) and 0 <= v <= 65535,
        "host": lambda v: isinstance(v, str) and v.strip() != "",
        "tls": lambda v: isinstance(v, bool),
        "advertiseHost": lambda v: isinstance(v, str) and v.strip() != "",
        "pushGateway": lambda v: isinstance(v, str),
        "permissionTimeout": lambda v: _number(v) and v > 0,
        "pairingCodeLifetime": lambda v: _number(v) and v > 0,
        "staleAfter": lambda v: _number(v) and v > 0,
        "expireAfter": lambda v: _number(v) and v > 0,
        "keepEndedFor": lambda v: _number(v) and v >= 0,
        "unusedTokenLifetime": lambda v: _number(v) and v > 0,
        "logLimit": lambda v: _number(v) and v >= 1024,
    }
    for key, ok in checks.items():
        if key in raw:
            if ok(raw[key]):
                cfg[key] = raw[key].strip() if isinstance(raw[key], str) else raw[key]
            else:
                log("config.json: ignoring invalid %s %r" % (key, raw[key]))
    if cfg["permissionTimeout"] > MAX_PERMISSION_TIMEOUT:
        log("config.json: permissionTimeout capped at %d s so Claude's own hook timeout never "
            "fires first" % MAX_PERMISSION_TIMEOUT)
        cfg["permissionTimeout"] = float(MAX_PERMISSION_TIMEOUT)
    return cfg


def ensure_home(home):
    os.makedirs(home, mode=0o700, exist_ok=True)


def ensure_secret(home, name="hook-secret"):
    path = os.path.join(home, name)
    secret = read_text(path)
    if secret:
        try:
            os.chmod(path, 0o600)
        except OSError:
            pass
        return secret
    secret = secrets.token_hex(32)
    atomic_write(path, secret + "\n", 0o600)
    return secret


def ensure_certificate(home):
    """Returns (cert, key) paths, generating a self-signed pair on first use."""
    cert = os.path.join(home, "relay-cert.pem")
    key = os.path.join(home, "relay-key.pem")
    if os.path.exists(cert) and os.path.exists(key):
        try:
            ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER).load_cert_chain(cert, key)
            os.chmod(key, 0o600)
            return cert, key
        except (OSError, ssl.SSLError) as exc:
            log("relay-cert.pem/relay-key.pem unusable (%s); making a new certificate" % exc)
    openssl = shutil.which("openssl")
    if not openssl:
        return None
    tmp_cert, tmp_key = cert + ".new", key + ".new"
    old_umask = os.umask(0o077)
    try:
        result = subprocess.run(
            [openssl, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256",
             "-days", "3650", "-subj", "/CN=Vesperline Relay",
             "-keyout", tmp_key, "-out", tmp_cert],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
        if result.returncode != 0:
            log("openssl failed: %s" % result.stdout.decode("utf-8", "replace").strip())
            return None
        os.chmod(tmp_key, 0o600)
        ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER).load_cert_chain(tmp_cert, tmp_key)
        os.replace(tmp_key, key)
        os.replace(tmp_cert, cert)
    except (OSError, subprocess.SubprocessError, ssl.SSLError) as exc:
        log("could not make a TLS certificate: %s" % exc)
        return None
    finally:
        os.umask(old_umask)
        for leftover in (tmp_cert, tmp_key):
            if os.path.exists(leftover):
                os.unlink(leftover)
    log("made a new self-signed certificate (relay-cert.pem)")
    return cert, key


def lan_address():
    # Connecting a UDP socket only picks the outgoing interface; nothing is sent.
    try:
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        try:
            s.connect(("192.0.2.1", 9))
            addr = s.getsockname()[0]
        finally:
            s.close()
        if addr and not addr.startswith("127.") and addr != "0.0.0.0":
            return addr
    except OSError:
        pass
    try:
        addr = socket.gethostbyname(socket.gethostname())
        if not addr.startswith("127."):
            return addr
    except OSError:
        pass
    return "127.0.0.1"


def url_host(host):
    return "[%s]" % host if ":" in host and not host.startswith("[") else host


def account_name():
    try:
        import getpass
        user = getpass.getuser()
    except Exception:
        user = "relay"
    host = socket.gethostname().split(".")[0] or "localhost"
    return "%s@%s" % (user, host)


# ---------------------------------------------------------------------------
# Stores on disk


class JsonStore(object):
    """One JSON object in one file of the relay's home, replaced atomically.

    Holds no state besides its path and what the last load read; whoever
    owns the data decides when to save, under its own lock, so saves of one
    file never interleave. What the owner cannot use of a loaded file it
    hands to refuse(), which keeps the file as it was before any save can
    overwrite it: the user's data is never lost without a trace.
    """

    def __init__(self, path, ensure_ascii=False):
        self.path = path
        self.name = os.path.basename(path)
        self.ensure_ascii = ensure_ascii
        self._loaded = None
        self._kept = None

    def load(self):
        """The stored object; {} when missing. An unreadable file is moved aside."""
        self._loaded = None
        self._kept = None
        if not os.path.exists(self.path):
            return {}
        try:
            with open(self.path, "rb") as f:
                raw = f.read()
            data = json.loads(raw.decode("utf-8"))
            if not isinstance(data, dict):
                raise ValueError("not a JSON object")
            self._loaded = raw
            return data
        except (OSError, ValueError, RecursionError) as exc:
            keep = "%s.broken-%d" % (self.path, int(time.time()))
            try:
                os.replace(self.path, keep)
            except OSError:
                keep = "(could not keep a copy)"
            log("%s unreadable (%s); starting without it, old copy kept as %s" % (self.name, exc, keep))
            return {}

    def refuse(self, what, why):
        """Logs a part of the loaded file that is left out, and keeps the file as it was."""
        if self._kept is None and self._loaded is not None:
            self._kept = self._keep_copy(self._loaded)
        log("%s: left out %s (%s); the file as it was is kept as %s" % (self.name, what, why, self._kept))

    def _keep_copy(self, raw):
        stamp = time.strftime("%Y%m%d-%H%M%S", time.localtime())
        for n in range(1, 100):
            path = "%s.refused-%s%s" % (self.path, stamp, "" if n == 1 else "-%d" % n)
            try:
                fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
            except FileExistsError:
                continue
            except OSError as exc:
                return "(could not keep a copy: %s)" % exc
            try:
                with os.fdopen(fd, "wb") as f:
                    f.write(raw)
            except OSError as exc:
                return "(could not keep a copy: %s)" % exc
            return os.path.basename(path)
        return "(could not keep a copy)"

    def save(self, data):
        """Writes data; a failure is logged, never raised: the relay keeps serving."""
        try:
            text = json.dumps(data, ensure_ascii=self.ensure_ascii)
            # A lone surrogate (JSON lets a hook send "\ud800") can only sit
            # inside a string here, where its escape is what JSON reads back.
            atomic_write(self.path, text.encode("utf-8", "backslashreplace"))
        except (OSError, TypeError, ValueError) as exc:
            log("could not save %s: %s" % (self.name, exc))


# ---------------------------------------------------------------------------
# Checking stored records
#
# Whatever a file in the relay's home holds ends up in answers that clients
# decode as a whole: one value of the wrong type, a number JSON cannot carry
# or a date the app cannot read would make every status document fail. So
# every field of every record is checked when it is loaded; a record that
# does not fit is left out (and its file kept, see JsonStore.refuse).

# The instants a stored time may stand for: from 1970 (nothing the relay
# records is older) to the last second of 9999, beyond which the ISO-8601
# form on the wire would need a fifth year digit that no client reads.
LATEST_INSTANT = 253402300799.0
# Longest free text kept from a record; far above what the relay writes
# itself, low enough that a damaged file cannot bloat every status answer.
STORED_TEXT_LIMIT = 65536
STORED_ID_LIMIT = 200


def is_instant(value):
    return _number(value) and 0 <= value <= LATEST_INSTANT


def is_text(value, limit=STORED_TEXT_LIMIT, empty=True):
    return isinstance(value, str) and len(value) <= limit and (empty or value != "")


def is_id(value, limit=STORED_ID_LIMIT):
    """What the relay takes as an identifier from a hook: not blank, not too long."""
    return is_text(value, limit) and value.strip() != ""


def optional(check):
    return lambda v: v is None or check(v)


def one_of(*values):
    return lambda v: isinstance(v, str) and v in values


def is_bool(value):
    return isinstance(value, bool)


def shown(value, limit=60):
    text = repr(value)
    return text if len(text) <= limit else text[: limit - 3] + "..."


def record_problem(record, fields):
    """Why a stored record does not fit fields ({key: (required, check)}), or None.

    Keys the table does not name are left alone: a newer relay may have
    written them."""
    if not isinstance(record, dict):
        return "not a JSON object"
    for key, (required, check) in fields.items():
        if key not in record:
            if required:
                return "no %s" % key
        elif not check(record[key]):
            return "%s is %s" % (key, shown(record[key]))
    return None


def _records(store, data, key):
    """The list under key of a loaded file; a value that is no list is refused whole."""
    records = data.get(key, [])
    if isinstance(records, list):
        return records
    store.refuse(key, "%s is no list" % shown(records))
    return []


def wire_text(text):
    """Text any JSON client reads: a lone surrogate becomes U+FFFD."""
    if text.isascii():
        return text
    try:
        text.encode("utf-8")
        return text
    except UnicodeEncodeError:
        return text.encode("utf-16", "surrogatepass").decode("utf-16", "replace")


# ---------------------------------------------------------------------------
# Reading the agents' hook data


def describe_tool(tool_input):
    """The one thing a person wants to see about a tool call."""
    if isinstance(tool_input, dict):
        for key in ("command", "file_path", "notebook_path", "path", "url", "pattern",
                    "query", "subject", "description", "prompt"):
            value = tool_input.get(key)
            if isinstance(value, list):
                value = " ".join(str(v) for v in value)
            if isinstance(value, str) and value.strip():
                return value.strip()
        if tool_input:
            return json.dumps(tool_input, ensure_ascii=False, sort_keys=True)[:2000]
        return ""
    if isinstance(tool_input, str):
        return tool_input.strip()
    return ""


def activity_text(tool_name, tool_input):
    detail = one_line(describe_tool(tool_input), 100)
    return "%s: %s" % (tool_name, detail) if detail else tool_name


def always_suggestion(payload):
    """The permission suggestion an "always" answer echoes back, if any."""
    suggestions = payload.get("permission_suggestions") if isinstance(payload, dict) else None
    if not isinstance(suggestions, list):
        return None
    for s in suggestions:
        if (isinstance(s, dict) and s.get("type") == "addRules"
                and s.get("behavior", "allow") == "allow"
                and isinstance(s.get("rules"), list) and s["rules"]):
            return s
    return None


def rule_text(suggestion):
    if not suggestion:
        return None
    parts = []
    for rule in suggestion.get("rules", []):
        if isinstance(rule, dict) and isinstance(rule.get("toolName"), str):
            content = rule.get("ruleContent")
            if isinstance(content, str) and content:
                parts.append("%s(%s)" % (rule["toolName"], content))
            else:
                parts.append(rule["toolName"])
    return ", ".join(parts) or None


def permission_output(decision, payload):
    """What the permission hook prints for a phone's decision."""
    if decision == "deny":
        body = {"behavior": "deny", "message": "Denied from phone"}
    else:
        body = {"behavior": "allow"}
        suggestion = always_suggestion(payload) if decision == "always" else None
        if suggestion:
            body["updatedPermissions"] = [suggestion]
    return {"hookSpecificOutput": {"hookEventName": "PermissionRequest", "decision": body}}


def parse_jsonish(value):
    if isinstance(value, str):
        try:
            return json.loads(value)
        except ValueError:
            return None
    return value


def task_id_of(obj):
    if isinstance(obj, dict):
        for key in ("taskId", "id", "task_id"):
            if isinstance(obj.get(key), (str, int)) and not isinstance(obj.get(key), bool):
                return str(obj[key])
    return None


# ---------------------------------------------------------------------------
# Sessions and prompts


class Session(object):
    def __init__(self, provider, sid, now):
        self.provider = provider
        self.id = sid
        self.title = None
        self.title_from_prompt = False
        self.cwd = None
        self.status = IDLE
        self.started = now
        self.updated = now
        self.last_event = now
        self.summary = None
        self.activity = None
        self.turn_started = None
        self.tasks = {}
        # When the agent said the session ended; it stays listed a while so
        # that a phone still sees how it ended.
        self.ended = None
        # Not kept across restarts: the tool call ids of recent PreToolUse
        # events, and the terminal dialog being watched, if any.
        self.tool_ids = {}
        self.watch = None

    @property
    def key(self):
        return session_key(self.provider, self.id)

    def display_title(self):
        if self.title:
            return self.title
        if self.cwd:
            name = os.path.basename(self.cwd.rstrip("/"))
            if name:
                return name
        return "Claude Code session" if self.provider == "claude" else "Codex session"

    def wire(self, prompt):
        """The session as clients decode it (ValueError for a time no client reads)."""
        d = {"id": wire_text(self.id), "provider": self.provider, "title": wire_text(self.display_title())}
        if self.cwd:
            d["workingDirectory"] = wire_text(self.cwd)
        d["status"] = self.status
        d["startedAt"] = wire_time(self.started)
        d["updatedAt"] = wire_time(self.updated)
        if self.summary:
            d["summary"] = wire_text(self.summary)
        if prompt is not None:
            p = {"id": wire_text(prompt.id), "toolName": wire_text(prompt.tool_name),
                 "detail": wire_text(prompt.detail), "createdAt": wire_time(prompt.created)}
            if prompt.rule:
                p["alwaysRule"] = wire_text(prompt.rule)
            d["permission"] = p
        if self.activity:
            d["activity"] = wire_text(self.activity)
        if self.turn_started is not None:
            d["turnStartedAt"] = wire_time(self.turn_started)
        if self.tasks:
            d["taskDone"] = sum(1 for s in self.tasks.values() if s == "completed")
            d["taskTotal"] = len(self.tasks)
        return d

    STATE_KEYS = ("provider", "id", "title", "title_from_prompt", "cwd", "status", "started",
                  "updated", "last_event", "summary", "activity", "turn_started", "tasks", "ended")

    def state(self):
        return dict((k, getattr(self, k)) for k in self.STATE_KEYS)

    @classmethod
    def from_state(cls, d):
        """The session a stored record describes; ValueError saying why it does not fit."""
        problem = record_problem(d, SESSION_FIELDS)
        if problem:
            raise ValueError(problem)
        s = cls(d["provider"], d["id"], float(d["started"]))
        for k in cls.STATE_KEYS:
            if k in d:
                setattr(s, k, d[k])
        return s


def _is_task_list(value):
    return isinstance(value, dict) and len(value) <= 10000 and all(
        is_text(k, 4096) and is_text(v, 4096) for k, v in value.items())


# Every field the relay writes; older files may lack the later ones.
SESSION_FIELDS = {
    "provider": (True, one_of(*PROVIDERS)),
    "id": (True, is_id),
    "title": (False, optional(is_text)),
    "title_from_prompt": (False, is_bool),
    "cwd": (False, optional(lambda v: is_text(v, 4096))),
    "status": (False, one_of(*STATUSES)),
    "started": (True, is_instant),
    "updated": (False, is_instant),
    "last_event": (False, is_instant),
    "summary": (False, optional(is_text)),
    "activity": (False, optional(is_text)),
    "turn_started": (False, optional(is_instant)),
    "tasks": (False, _is_task_list),
    "ended": (False, optional(is_instant)),
}


def session_key(provider, sid):
    return "%s:%s" % (provider, sid)


class Prompt(object):
    STATE_KEYS = ("id", "session", "tool_name", "tool_input", "detail", "created", "deadline",
                  "rule", "decision")

    def __init__(self, pid, session, tool_name, tool_input, detail, created, deadline, rule):
        self.id = pid
        self.session = session
        self.tool_name = tool_name
        self.tool_input = tool_input
        self.detail = detail
        self.created = created
        self.deadline = deadline
        self.rule = rule
        self.decision = None
        self.waiters = 0
        self.last_poll = created

    def state(self):
        return dict((k, getattr(self, k)) for k in self.STATE_KEYS)

    @classmethod
    def from_state(cls, d, now):
        """The prompt a stored record describes; ValueError saying why it does not fit."""
        problem = record_problem(d, PROMPT_FIELDS)
        if problem:
            raise ValueError(problem)
        p = cls(d["id"], d["session"], d["tool_name"], d.get("tool_input"), d["detail"],
                float(d["created"]), float(d["deadline"]), d.get("rule"))
        p.decision = d.get("decision")
        # The hook reconnects after a restart; give it the usual grace period.
        p.last_poll = now
        return p


PROMPT_FIELDS = {
    "id": (True, is_id),
    "session": (True, lambda v: is_id(v, STORED_ID_LIMIT + 10)),
    "tool_name": (True, lambda v: is_text(v, empty=False)),
    # Only compared with what the hooks send again, never put on the wire.
    "tool_input": (False, lambda v: True),
    "detail": (True, is_text),
    "created": (True, is_instant),
    "deadline": (True, is_instant),
    "rule": (False, optional(is_text)),
    "decision": (False, optional(one_of(*DECISIONS))),
}


class RequestError(Exception):
    def __init__(self, status, message, headers=None, logged=None):
        Exception.__init__(self, message)
        self.status = status
        self.message = message
        self.headers = headers
        # A phone with a revoked token, or one asking about a prompt already
        # answered, keeps asking: those would only fill the log.
        self.logged = status not in (401, 404) if logged is None else logged


# Statuses a phone is told about when a session moves into one of them.
ATTENTION_STATUSES = (WAITING, FINISHED, FAILED)


# ---------------------------------------------------------------------------
# The terminal's side of a permission prompt. Claude shows its own dialog
# while the permission hook runs and tells the hooks nothing when the person
# answers there: Esc or "No" kill the hook (or, with no hook waiting, leave
# no trace in the hooks at all) and "Yes" lets the tool run with the hook
# still waiting. What the agent does leave behind is watched instead: its
# transcript, which records the refused tool call at once, and, for a shell
# command, the command's own process, which the agent starts the moment the
# person says yes.

SHELL_NAMES = ("sh", "bash", "dash", "zsh", "ksh", "mksh", "fish", "busybox", "env")
TRANSCRIPT_READ_LIMIT = 1 << 20


def _proc_stat(pid):
    """(command name, parent pid) of a process, or None when it is gone."""
    try:
        with open("/proc/%d/stat" % pid, "rb") as f:
            raw = f.read().decode("utf-8", "replace")
        # The name sits in parentheses and may itself hold spaces or ")".
        name = raw[raw.index("(") + 1:raw.rindex(")")]
        return name, int(raw[raw.rindex(")") + 2:].split()[1])
    except (OSError, ValueError, IndexError):
        pass
    try:
        out = subprocess.run(["ps", "-o", "ppid=,comm=", "-p", str(pid)], capture_output=True,
                             text=True, timeout=2).stdout.split(None, 1)
        return os.path.basename(out[1].strip()), int(out[0])
    except (OSError, ValueError, IndexError, subprocess.SubprocessError):
        return None


def agent_pid(start=None):
    """The agent that runs this hook: the first ancestor that is not a shell."""
    pid = start or os.getppid()
    for _ in range(8):
        if pid <= 1:
            return None
        stat = _proc_stat(pid)
        if stat is None:
            return None
        name, parent = stat
        # A script started through its #! line is named after the script, so
        # the program it runs tells a shell apart better than the name.
        try:
            name = os.readlink("/proc/%d/exe" % pid)
        except OSError:
            pass
        if os.path.basename(name) not in SHELL_NAMES:
            return pid
        pid = parent
    return None


def process_alive(pid):
    try:
        os.kill(pid, 0)
        return True
    except ProcessLookupError:
        return False
    except OSError:
        return True  # it exists, it is just not ours to signal


def child_commands(pid):
    """Command lines of the process's children."""
    found = []
    try:
        names = os.listdir("/proc")
    except OSError:
        names = None
    if names is not None:
        for name in names:
            if not name.isdigit():
                continue
            stat = _proc_stat(int(name))
            if stat is None or stat[1] != pid:
                continue
            try:
                with open("/proc/%s/cmdline" % name, "rb") as f:
                    found.append(f.read().replace(b"\0", b" ").decode("utf-8", "replace"))
            except OSError:
                pass
        return found
    try:
        out = subprocess.run(["ps", "-A", "-o", "ppid=,command="], capture_output=True, text=True,
                             timeout=2).stdout
    except (OSError, subprocess.SubprocessError):
        return found
    for line in out.splitlines():
        parts = line.strip().split(None, 1)
        if len(parts) == 2 and parts[0] == str(pid):
            found.append(parts[1])
    return found


def runs_command(commands, command):
    """Whether one of the command lines runs the shell command (as the agent quotes it)."""
    if not isinstance(command, str) or not command.strip():
        return False
    quoted = "'" + command.replace("'", "'\\''") + "'"
    return any(quoted in line or command in line for line in commands)


def read_regular_file(path, offset=0, limit=TRANSCRIPT_READ_LIMIT):
    """Up to limit bytes of a regular file from offset; None for anything
    else. The path comes from a hook: a FIFO or a device there must not
    hang the relay."""
    if not isinstance(path, str) or not os.path.isabs(path):
        return None
    try:
        fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK | getattr(os, "O_CLOEXEC", 0))
    except OSError:
        return None
    try:
        if not stat.S_ISREG(os.fstat(fd).st_mode):
            return None
        os.lseek(fd, offset, os.SEEK_SET)
        chunks = []
        while limit > 0:
            chunk = os.read(fd, min(limit, 1 << 16))
            if not chunk:
                break
            chunks.append(chunk)
            limit -= len(chunk)
        return b"".join(chunks)
    except OSError:
        return None
    finally:
        os.close(fd)


def _entries(lines):
    for line in lines:
        try:
            entry = json.loads(line)
        except ValueError:
            continue
        if isinstance(entry, dict):
            yield entry


def _content(entry):
    message = entry.get("message")
    return message.get("content") if isinstance(message, dict) else None


def transcript_verdict(lines, tool_use_id):
    """What the transcript lines say about the tool call: "refused", "ran" or None.

    Only the call's own result counts. Claude also writes records that
    replay the conversation so far (the request it sends next), earlier
    refusals and their "[Request interrupted by user…]" notes included:
    none of that speaks of this call."""
    for entry in _entries(line for line in lines if tool_use_id in line):
        content = _content(entry)
        for block in content if isinstance(content, list) else ():
            if (isinstance(block, dict) and block.get("type") == "tool_result"
                    and block.get("tool_use_id") == tool_use_id):
                return "refused" if block.get("is_error") is True else "ran"
    return None


def _instant_of(stamp):
    """Seconds since the epoch of Claude's ISO time ("2026-12-07T15:40:18.210Z"), or None."""
    if not isinstance(stamp, str):
        return None
    try:
        t = datetime.datetime.fromisoformat(stamp.replace("Z", "+00:00")).timestamp()
    except (ValueError, OverflowError, OSError):
        return None
    return t if is_instant(t) else None


def transcript_origin(path):
    """(first prompt, when it was given) of a Claude transcript, or Nones.

    Claude's own notes in the user's place (slash commands, their output,
    reminders) start with "<" and are no prompt."""
    data = read_regular_file(path)
    for entry in _entries(data.decode("utf-8", "replace").splitlines() if data else ()):
        if entry.get("type") != "user" or entry.get("isMeta") or entry.get("isSidechain"):
            continue
        content = _content(entry)
        if isinstance(content, list):
            content = next((b.get("text") for b in content if isinstance(b, dict) and b.get("type") == "text"), None)
        if isinstance(content, str) and content.strip() and not content.lstrip().startswith("<"):
            return content, _instant_of(entry.get("timestamp"))
    return None, None


def tool_key(tool_name, tool_input):
    return "%s %s" % (tool_name, json.dumps(tool_input, sort_keys=True, default=str))


class TerminalWatch(object):
    """One terminal dialog of Claude's, and what is known to look at for it."""

    def __init__(self, tool_name, tool_input, tool_use_id, transcript, agent, now):
        self.tool_name = tool_name
        self.tool_input = tool_input
        self.tool_use_id = tool_use_id
        self.transcript = transcript
        self.agent = agent
        self.since = now
        self.offset = None
        self.partial = b""
        if transcript:
            try:
                self.offset = os.stat(transcript).st_size
            except OSError:
                # Claude writes a new session's transcript a little later
                # than it shows the dialog: all of that file will be news.
                self.offset = 0

    def _new_lines(self):
        if self.offset is None:
            return []
        data = read_regular_file(self.transcript, self.offset)
        if data is None:
            return []
        self.offset += len(data)
        data = self.partial + data
        lines = data.split(b"\n")
        self.partial = lines.pop()
        return [line.decode("utf-8", "replace") for line in lines if line.strip()]

    def check(self):
        """"refused", "allowed", "gone" (the agent exited) or None while undecided.

        Runs without the board's lock: it reads files and the process table.
        """
        if self.agent is not None and not process_alive(self.agent):
            return "gone"
        if self.tool_use_id:
            verdict = transcript_verdict(self._new_lines(), self.tool_use_id)
            if verdict == "refused":
                return "refused"
            if verdict == "ran":
                return "allowed"
        if (self.agent is not None and self.tool_name == "Bash" and isinstance(self.tool_input, dict)
                and runs_command(child_commands(self.agent), self.tool_input.get("command"))):
            return "allowed"
        return None


class SessionBoard(object):
    """The agents' sessions, the permission prompts held for the phone, away mode.

    Owns state.json, saved after every change. Hook events drive each
    session's status through the handlers in EVENTS. A session that moves
    into a status needing a person's attention is handed to
    on_attention(provider, wire), called with the board's lock held so that
    notifications keep the order of the events; the listener may take the
    pairing book's lock (lock order: board, then book, never the reverse).
    The condition wakes permission hooks long-polling in wait_prompt.
    """

    def __init__(self, store, config, clock=time.time, on_attention=None):
        self.store = store
        self.config = config
        self.clock = clock
        self.on_attention = on_attention
        # Reentrant: the sweep runs inside session_list, under the same lock.
        self.cond = threading.Condition(threading.RLock())
        self.sessions = {}
        self.prompts = {}
        self.remote_approvals = False
        # Sessions whose wire form failed, so that each is logged only once.
        self._unlisted = set()
        self._saver = None
        self._dirty = False
        self._save_lock = threading.Lock()

    # -- persistence -------------------------------------------------------

    STATE_FILE_KEYS = ("version", "remoteApprovals", "sessions", "prompts")

    def load(self):
        now = self.clock()
        store = self.store
        state = store.load()
        with self.cond:
            for key in state:
                if key not in self.STATE_FILE_KEYS:
                    store.refuse("the key %s" % shown(key), "not one of ours")
            if state.get("remoteApprovals", False) is True:
                self.remote_approvals = True
            elif state.get("remoteApprovals", False) is not False:
                store.refuse("remoteApprovals", "%s is no boolean; away mode stays off" % shown(state["remoteApprovals"]))
            for n, d in enumerate(_records(store, state, "sessions")):
                try:
                    s = Session.from_state(d)
                except ValueError as exc:
                    store.refuse("session record %d" % n, exc)
                    continue
                if s.key in self.sessions:
                    store.refuse("session record %d" % n, "a second record of session %s" % shown(s.key))
                    continue
                self.sessions[s.key] = s
            if len(self.sessions) > MAX_SESSIONS:
                by_age = sorted(self.sessions.values(), key=lambda x: x.last_event)
                for s in by_age[: len(self.sessions) - MAX_SESSIONS]:
                    store.refuse("session %s" % shown(s.key), "more than %d sessions; the oldest go" % MAX_SESSIONS)
                    del self.sessions[s.key]
            for n, d in enumerate(_records(store, state, "prompts")):
                try:
                    p = Prompt.from_state(d, now)
                except ValueError as exc:
                    store.refuse("prompt record %d" % n, exc)
                    continue
                if p.session not in self.sessions:
                    store.refuse("prompt record %d" % n, "its session %s is not there" % shown(p.session))
                elif p.id in self.prompts:
                    store.refuse("prompt record %d" % n, "a second record of prompt %s" % shown(p.id))
                else:
                    self.prompts[p.id] = p

    def _state(self):
        return {
            "version": VERSION,
            "remoteApprovals": self.remote_approvals,
            "sessions": [s.state() for s in self.sessions.values()],
            "prompts": [p.state() for p in self.prompts.values()],
        }

    def save(self):
        with self.cond:
            if self._saver is not None:
                # A hook waits for our answer: the write (with its fsync)
                # happens on the saver thread, a burst of events in one go.
                self._dirty = True
                self._saver_wake.set()
                return
            self.store.save(self._state())

    def start_saver(self):
        """Saves from a thread of its own from now on; close() writes the last state."""
        self._saver_wake = threading.Event()

        def run():
            while True:
                self._saver_wake.wait()
                self._saver_wake.clear()
                # Lock order: save lock, then the board; never the reverse.
                with self._save_lock:
                    with self.cond:
                        if self._saver is None or not self._dirty:
                            continue
                        self._dirty = False
                        data = self._state()
                    self.store.save(data)
        self._saver = threading.Thread(target=run, daemon=True)
        self._saver.start()

    def close(self):
        with self._save_lock:
            with self.cond:
                self._saver = None
                self._dirty = False
                self.store.save(self._state())
                self.cond.notify_all()

    def _changed(self, s=None, before=None):
        """After any change: save, wake waiting hooks, tell the phones if it matters."""
        self.save()
        self.cond.notify_all()
        if s is not None:
            self._attention(s, before)

    def _attention(self, s, before):
        if self.on_attention is None or s.status == before or s.status not in ATTENTION_STATUSES:
            return
        self.on_attention(s.provider, s.wire(self._open_prompt(s, self.clock())))

    # -- away mode ---------------------------------------------------------

    def away(self):
        with self.cond:
            return self.remote_approvals

    def set_remote_approvals(self, value):
        with self.cond:
            if self.remote_approvals != value:
                self.remote_approvals = value
                if not value:
                    # Nobody is away any more: let the terminal decide at once.
                    for p in list(self.prompts.values()):
                        if p.decision is None:
                            self._drop_prompt(p)
                self._changed()
            return self.remote_approvals

    # -- prompts -----------------------------------------------------------

    def _live(self, p, now):
        return (p.decision is None and now < p.deadline
                and (p.waiters > 0 or now - p.last_poll < ABANDONED_AFTER))

    def _open_prompt(self, s, now):
        live = [p for p in self.prompts.values() if p.session == s.key and self._live(p, now)]
        return min(live, key=lambda p: p.created) if live else None

    def _drop_prompt(self, p):
        self.prompts.pop(p.id, None)

    def _drop_session_prompts(self, s):
        s.watch = None
        for p in list(self.prompts.values()):
            if p.session == s.key:
                self._drop_prompt(p)

    def _drop_answered_in_terminal(self, s, tool_name, tool_input):
        if s.watch is not None and s.watch.tool_name == tool_name:
            s.watch = None
        mine = sorted((p for p in self.prompts.values()
                       if p.session == s.key and p.tool_name == tool_name and p.decision is None),
                      key=lambda p: p.created)
        exact = [p for p in mine if p.tool_input == tool_input]
        for p in (exact or mine)[:1]:
            self._drop_prompt(p)

    def _expire_prompt(self, p):
        # Only the phone's chance ends; the terminal still asks the person.
        self._drop_prompt(p)
        self._changed()

    def raise_permission(self, payload, now, phone_paired):
        """Claude's permission hook: record the prompt and say whether to hold it.

        phone_paired: whether a phone paired for Claude could answer (the
        pairing book knows); a Codex phone never sees Claude's prompts.
        """
        if payload.get("hook_event_name", "PermissionRequest") != "PermissionRequest":
            raise RequestError(400, "not a PermissionRequest")
        tool_name = payload.get("tool_name")
        if not isinstance(tool_name, str) or not tool_name:
            raise RequestError(400, "tool_name must be a non-empty string")
        tool_input = payload.get("tool_input")
        with self.cond:
            s = self._session_for("claude", payload, now)
            s.activity = activity_text(tool_name, tool_input)
            s.status = WAITING
            if s.turn_started is None:
                s.turn_started = now
            self._watch_terminal(s, payload, tool_name, tool_input, now)
            if not self.remote_approvals or not phone_paired:
                # Away mode off, or no phone that could answer: the terminal decides.
                self.save()
                return {"hold": False}
            timeout = float(self.config["permissionTimeout"])
            detail = describe_tool(tool_input)
            if len(detail) > 1000:
                detail = detail[:999] + "\u2026"
            p = Prompt("p" + secrets.token_hex(8), s.key, tool_name, tool_input, detail or tool_name,
                       now, now + timeout, rule_text(always_suggestion(payload)))
            self.prompts[p.id] = p
            # Every held prompt is news to the phone, even in a session that
            # was already waiting on an earlier one.
            self._changed(s, None)
            log("holding %s prompt %s for the phone" % (tool_name, p.id))
            return {"hold": True, "promptId": p.id, "waitSeconds": timeout}

    def decide(self, pid, decision, now, provider):
        """The answer of a phone paired for provider; False when the prompt is
        no longer open or belongs to another provider's session (which the
        phone must not learn exists)."""
        with self.cond:
            p = self.prompts.get(pid)
            if p is None or not self._live(p, now):
                return False
            s = self.sessions.get(p.session)
            if s is None or s.provider != provider:
                return False
            p.decision = decision
            s.watch = None
            self._after_tool(s, now)
            s.updated = now
            self._changed()
            log("phone answered prompt %s: %s" % (pid, decision))
            return True

    def wait_prompt(self, pid, longest, hook_gone=lambda: False):
        """Long-poll of the permission hook: decided, gone, or still pending.

        hook_gone() tells whether the waiting hook hung up (its agent quit or
        killed it); then nobody is left to take an answer and the prompt ends.
        """
        with self.cond:
            p = self.prompts.get(pid)
            if p is None:
                return {"state": "gone"}
            p.waiters += 1
            try:
                end = min(self.clock() + longest, p.deadline)
                while True:
                    now = self.clock()
                    if self.prompts.get(pid) is not p:
                        return {"state": "gone"}
                    if p.decision is not None:
                        self._drop_prompt(p)
                        self.save()
                        return {"state": "decided", "decision": p.decision}
                    if now >= end:
                        break
                    if hook_gone():
                        # Claude cancels a waiting permission hook when the
                        # person refuses the tool at its terminal (Esc or
                        # "No"), and nothing else is reported after that.
                        log("the hook waiting on prompt %s was cancelled: refused at the terminal" % pid)
                        s = self.sessions.get(p.session)
                        if s is not None:
                            self._terminal_answered(s, "refused", self.clock())
                        else:
                            self._expire_prompt(p)
                        return {"state": "gone"}
                    self.cond.wait(min(end - now, HOOK_CHECK_EVERY))
            finally:
                p.waiters -= 1
                p.last_poll = self.clock()
            if self.clock() >= p.deadline:
                self._expire_prompt(p)
                return {"state": "gone"}
            return {"state": "pending", "waitSeconds": max(0.0, p.deadline - self.clock())}

    # -- the terminal's answers ------------------------------------------

    def _watch_terminal(self, s, payload, tool_name, tool_input, now):
        agent = payload.get("agentPid")
        agent = agent if isinstance(agent, int) and not isinstance(agent, bool) and agent > 1 else None
        transcript = payload.get("transcript_path")
        transcript = transcript if isinstance(transcript, str) and os.path.isabs(transcript) else None
        s.watch = TerminalWatch(tool_name, tool_input, s.tool_ids.get(tool_key(tool_name, tool_input)),
                                transcript, agent, now)

    def _terminal_answered(self, s, verdict, now):
        """The person answered Claude's dialog at the terminal: the phone's chance is over."""
        watch, before = s.watch, s.status
        s.watch = None
        if verdict == "allowed":
            # The tool runs now; PostToolUse will follow when it is done.
            if watch is not None:
                self._drop_answered_in_terminal(s, watch.tool_name, watch.tool_input)
            self._after_tool(s, now)
        else:
            # Refused (Claude then stops the turn and waits for the person) or
            # the agent is gone: either way nothing is running any more.
            self._drop_session_prompts(s)
            self._turn_over(s, IDLE)
        s.updated = now
        self._changed(s, before)

    def watch_terminals(self):
        """Looks once at every open terminal dialog; the watcher thread calls it."""
        with self.cond:
            watched = [(s.key, s.watch) for s in self.sessions.values() if s.watch is not None]
        for key, watch in watched:
            verdict = watch.check()
            if verdict is None:
                continue
            with self.cond:
                s = self.sessions.get(key)
                if s is not None and s.watch is watch:
                    log("terminal answered %s in session %s: %s" % (watch.tool_name, s.id[:8], verdict))
                    self._terminal_answered(s, verdict, self.clock())

    def watching(self):
        with self.cond:
            return any(s.watch is not None for s in self.sessions.values())

    # -- hook events -------------------------------------------------------

    def _session_for(self, provider, payload, now, create=True, sid_key="session_id"):
        sid = payload.get(sid_key)
        if not isinstance(sid, str) or not sid.strip() or len(sid) > 200:
            raise RequestError(400, "%s must be a non-empty string" % sid_key)
        key = session_key(provider, sid)
        s = self.sessions.get(key)
        if s is None:
            if not create:
                return None
            if len(self.sessions) >= MAX_SESSIONS:
                oldest = min(self.sessions.values(), key=lambda x: x.last_event)
                self._drop_session(oldest)
            s = Session(provider, sid, now)
            self.sessions[key] = s
        cwd = payload.get("cwd")
        if isinstance(cwd, str) and cwd.strip():
            s.cwd = cwd[:1000]
        s.updated = now
        s.last_event = now
        s.ended = None
        return s

    def _drop_session(self, s):
        self._drop_session_prompts(s)
        del self.sessions[s.key]

    @staticmethod
    def _title_from(s, prompt):
        if isinstance(prompt, str) and prompt.strip() and not s.title_from_prompt:
            s.title = one_line(prompt, 80)
            s.title_from_prompt = True

    @staticmethod
    def _summary_from(s, text):
        if isinstance(text, str) and text.strip():
            s.summary = one_line(text, 200)

    @staticmethod
    def _turn_over(s, status):
        s.status = status
        s.activity = None
        s.turn_started = None

    def _after_tool(self, s, now):
        """The status once a tool call was asked, answered or done: the turn
        goes on, waiting only while a prompt is still held for the phone."""
        s.status = WAITING if self._open_prompt(s, now) else WORKING
        if s.turn_started is None:
            s.turn_started = now

    @staticmethod
    def _track_tasks(s, tool_name, tool_input, tool_response):
        if not isinstance(tool_input, dict):
            tool_input = {}
        if tool_name == "TodoWrite" and isinstance(tool_input.get("todos"), list):
            s.tasks = {}
            for i, todo in enumerate(tool_input["todos"]):
                status = todo.get("status") if isinstance(todo, dict) else None
                s.tasks["todo-%d" % i] = status if isinstance(status, str) else "pending"
        elif tool_name == "TaskCreate":
            response = parse_jsonish(tool_response)
            task = response.get("task") if isinstance(response, dict) else None
            tid = task_id_of(task) or task_id_of(response)
            if tid is None:
                tid = "created-%d" % len(s.tasks)
            s.tasks[tid] = "pending"
        elif tool_name == "TaskUpdate":
            tid = task_id_of(tool_input)
            status = tool_input.get("status")
            if tid is not None and isinstance(status, str):
                if status == "deleted":
                    s.tasks.pop(tid, None)
                else:
                    s.tasks[tid] = status

    # One handler per hook event, called with the board's lock held and the
    # session already created or touched: (self, session, event, payload,
    # tool_name or None, tool_input, now). Events without a handler only
    # keep the session alive.

    def _on_session_start(self, s, event, payload, tool_name, tool_input, now):
        source = payload.get("source")
        # A compaction happens inside a turn; any other start means the
        # previous turn, if one was running, is over.
        if source != "compact" and s.status in TURN_STATUSES:
            self._drop_session_prompts(s)
            self._turn_over(s, IDLE)
        if source == "resume" and not s.title_from_prompt:
            # A conversation taken up again after the relay let it go (or
            # forked into a new id): its transcript still says how it began.
            prompt, began = transcript_origin(payload.get("transcript_path"))
            self._title_from(s, prompt)
            if began is not None and began < s.started:
                s.started = began

    def _on_session_end(self, s, event, payload, tool_name, tool_input, now):
        if payload.get("reason") == "clear":
            # /clear starts a new session at once, which takes this one's
            # place; kept, this one would sit beside it as a stale twin.
            self._drop_session(s)
            return
        # Kept with its last status for a while (a headless run ends a
        # tenth of a second after it finished, before any phone could have
        # looked); a turn cut short is over.
        self._drop_session_prompts(s)
        if s.status in TURN_STATUSES:
            self._turn_over(s, IDLE)
        s.ended = now

    def _on_prompt_submit(self, s, event, payload, tool_name, tool_input, now):
        self._drop_session_prompts(s)
        self._title_from(s, payload.get("prompt"))
        s.status = WORKING
        s.turn_started = now
        s.activity = None

    def _on_pre_tool(self, s, event, payload, tool_name, tool_input, now):
        if tool_name:
            # PermissionRequest carries no tool call id; PreToolUse of the
            # same call, just before it, does.
            tid = payload.get("tool_use_id")
            if isinstance(tid, str) and tid:
                s.tool_ids[tool_key(tool_name, tool_input)] = tid
                while len(s.tool_ids) > 16:
                    s.tool_ids.pop(next(iter(s.tool_ids)))
            s.activity = activity_text(tool_name, tool_input)
            self._after_tool(s, now)

    def _on_permission_reported(self, s, event, payload, tool_name, tool_input, now):
        # Reported without being held (Codex, or a hook setup without the
        # permission hook): the terminal asks, the phone only sees the wait.
        if tool_name:
            s.activity = activity_text(tool_name, tool_input)
            s.status = WAITING

    def _on_post_tool(self, s, event, payload, tool_name, tool_input, now):
        if tool_name:
            self._drop_answered_in_terminal(s, tool_name, tool_input)
            if event == "PostToolUse":
                self._track_tasks(s, tool_name, tool_input, payload.get("tool_response"))
            self._after_tool(s, now)

    def _on_notification(self, s, event, payload, tool_name, tool_input, now):
        kind = payload.get("notification_type")
        if kind == "permission_prompt" or kind == "agent_needs_input" or (
                isinstance(kind, str) and kind.startswith("elicitation")):
            s.status = WAITING

    def _on_task(self, s, event, payload, tool_name, tool_input, now):
        tid = task_id_of(payload) or task_id_of(payload.get("task"))
        if tid is not None:
            s.tasks[tid] = "completed" if event == "TaskCompleted" else s.tasks.get(tid, "pending")

    def _on_stop(self, s, event, payload, tool_name, tool_input, now):
        self._drop_session_prompts(s)
        self._turn_over(s, FINISHED if event == "Stop" else FAILED)
        text = payload.get("last_assistant_message")
        if event == "StopFailure":
            text = next((payload.get(k) for k in ("error", "error_message", "message", "reason")
                         if isinstance(payload.get(k), str) and payload.get(k).strip()), text)
        self._summary_from(s, text)

    # event: (handler, whether the event may bring a session the relay has
    # not seen). The end of a session the relay never saw is no news.
    EVENTS = {
        "SessionStart": (_on_session_start, True),
        "UserPromptSubmit": (_on_prompt_submit, True),
        "PreToolUse": (_on_pre_tool, True),
        "PermissionRequest": (_on_permission_reported, True),
        "PostToolUse": (_on_post_tool, True),
        "PostToolUseFailure": (_on_post_tool, True),
        "PermissionDenied": (_on_post_tool, True),
        "Notification": (_on_notification, True),
        "TaskCreated": (_on_task, True),
        "TaskCompleted": (_on_task, True),
        "Stop": (_on_stop, True),
        "StopFailure": (_on_stop, True),
        "SessionEnd": (_on_session_end, False),
    }

    def hook_event(self, provider, payload, now):
        """One event from a Claude Code or Codex hook."""
        event = payload.get("hook_event_name")
        if not isinstance(event, str):
            raise RequestError(400, "hook_event_name must be a string")
        handler, opens = self.EVENTS.get(event, (None, True))
        with self.cond:
            s = self._session_for(provider, payload, now, create=opens)
            if s is None:
                return {"ok": True}
            before = s.status
            if handler is not None:
                tool_name = payload.get("tool_name") if isinstance(payload.get("tool_name"), str) else None
                handler(self, s, event, payload, tool_name, payload.get("tool_input"), now)
            self._changed(s, before)
            return {"ok": True}

    def codex_notify(self, payload, now):
        """Codex's notify program: a turn completed."""
        if payload.get("type") != "agent-turn-complete":
            return {"ok": True}
        messages = payload.get("input-messages")
        if (isinstance(messages, list) and messages and isinstance(messages[0], str)
                and messages[0].lstrip().startswith(CODEX_TITLE_TURN)):
            return {"ok": True}
        with self.cond:
            s = self._session_for("codex", payload, now, sid_key="thread-id")
            before = s.status
            if isinstance(messages, list) and messages:
                self._title_from(s, messages[0])
            self._turn_over(s, FINISHED)
            self._summary_from(s, payload.get("last-assistant-message"))
            self._changed(s, before)
            return {"ok": True}

    # -- aging and reading -------------------------------------------------

    def sweep(self, now):
        """Turns silent sessions idle, drops dead ones and ends stale prompts."""
        changed = False
        with self.cond:
            for p in list(self.prompts.values()):
                if p.session not in self.sessions or not (p.decision is not None or self._live(p, now)):
                    self._drop_prompt(p)
                    changed = True
                elif p.decision is not None and p.waiters == 0 and now - p.last_poll >= ABANDONED_AFTER:
                    self._drop_prompt(p)
                    changed = True
            for s in list(self.sessions.values()):
                silent = now - s.last_event
                if s.ended is not None and now - s.ended >= self.config["keepEndedFor"]:
                    self._drop_session(s)
                    changed = True
                elif silent >= self.config["expireAfter"]:
                    self._drop_session(s)
                    changed = True
                elif (s.status in TURN_STATUSES and silent >= self.config["staleAfter"]
                      and self._open_prompt(s, now) is None):
                    self._turn_over(s, IDLE)
                    s.updated = now
                    changed = True
            if changed:
                self._changed()

    def session_list(self, provider, now):
        """The wire form of the sessions (of one provider, or all), most urgent first."""
        with self.cond:
            self.sweep(now)
            rows = [s for s in self.sessions.values() if provider is None or s.provider == provider]
            rows.sort(key=lambda s: (STATUSES.index(s.status) if s.status in STATUSES else 9, -s.updated))
            listed = []
            for s in rows:
                try:
                    listed.append(s.wire(self._open_prompt(s, now)))
                except (TypeError, ValueError, OverflowError) as exc:
                    # One bad session must not cost the client the whole list.
                    if s.key not in self._unlisted:
                        self._unlisted.add(s.key)
                        log("session %s left out of the lists: %s" % (shown(s.key), exc))
            return listed


# ---------------------------------------------------------------------------
# Pairing and tokens


class PairingBook(object):
    """The pairing code, wrong-code limits, paired tokens and their push registrations.

    Owns tokens.json. Its lock is the innermost of the relay's: nothing here
    calls into another part while holding it.
    """

    def __init__(self, store, config, clock=time.time):
        self.store = store
        self.config = config
        self.clock = clock
        # Reentrant: pair() rotates the code through current_code().
        self.lock = threading.RLock()
        self.tokens = []
        self.push_regs = []
        self.tokens_dirty = False
        self.tokens_saved = 0.0
        self.failures = {}
        self.global_failures = 0
        self.code = None
        self.code_born = 0.0
        self.account = account_name()
        # Tokens whose row failed, so that each is logged only once.
        self._unlisted = set()

    def load(self):
        store = self.store
        data = store.load()
        with self.lock:
            for key in data:
                if key not in ("tokens", "push"):
                    store.refuse("the key %s" % shown(key), "not one of ours")
            ids = set()
            for n, t in enumerate(_records(store, data, "tokens")):
                problem = record_problem(t, TOKEN_FIELDS)
                if problem is None and t["id"] in ids:
                    problem = "a second token %s" % t["id"]
                if problem:
                    store.refuse("token record %d" % n, problem)
                    continue
                ids.add(t["id"])
                self.tokens.append(t)
            for n, r in enumerate(_records(store, data, "push")):
                problem = record_problem(r, PUSH_FIELDS)
                if problem is None and r["tokenId"] not in ids:
                    problem = "its token %s is not there" % shown(r["tokenId"])
                if problem:
                    store.refuse("push registration %d" % n, problem)
                    continue
                self.push_regs.append(r)
        self.rotate_code(self.clock())

    def save(self):
        with self.lock:
            self.tokens_dirty = False
            self.tokens_saved = self.clock()
            self.store.save({"tokens": self.tokens, "push": self.push_regs})

    # -- the code ----------------------------------------------------------

    def rotate_code(self, now):
        with self.lock:
            raw = "".join(secrets.choice(CODE_ALPHABET) for _ in range(8))
            self.code = raw[:4] + "-" + raw[4:]
            self.code_born = now
            self.global_failures = 0

    def current_code(self, now):
        with self.lock:
            if now - self.code_born >= self.config["pairingCodeLifetime"]:
                self.rotate_code(now)
            return self.code

    def pair(self, client, provider, code, now):
        """A new token for a phone that knows the code; RequestError 401/429 otherwise."""
        with self.lock:
            current = self.current_code(now)
            recent = [t for t in self.failures.get(client, []) if now - t < PAIR_FAILURE_WINDOW]
            if len(recent) >= PAIR_FAILURE_LIMIT:
                self.failures[client] = recent
                raise RequestError(429, "too many wrong pairing codes; wait a minute")
            if not hmac.compare_digest(normalize_code(code).encode(), normalize_code(current).encode()):
                recent.append(now)
                self.failures[client] = recent
                if len(self.failures) > 1000:
                    self._prune_failures(now)
                self.global_failures += 1
                if self.global_failures >= PAIR_GLOBAL_FAILURE_LIMIT:
                    log("too many wrong pairing codes overall; the code was replaced")
                    self.rotate_code(now)
                raise RequestError(401, "wrong pairing code", logged=True)
            token = secrets.token_urlsafe(32)
            ids = set(t["id"] for t in self.tokens)
            tid = secrets.token_hex(4)
            while tid in ids:
                tid = secrets.token_hex(4)
            # Unconfirmed until the phone first uses it: a reply that never
            # reached the phone leaves a token nobody holds.
            self.tokens.append({"id": tid, "provider": provider, "hash": hash_token(token),
                                "createdAt": now, "lastSeenAt": None, "confirmed": False})
            self.save()
            log("paired a phone for %s (token %s)" % (provider, tid))
            return {"token": token, "account": self.account}

    def _prune_failures(self, now):
        for client in list(self.failures):
            if not [t for t in self.failures[client] if now - t < PAIR_FAILURE_WINDOW]:
                del self.failures[client]

    # -- tokens ------------------------------------------------------------

    def authenticate(self, token, now):
        """The token's record (its lastSeenAt touched), or None."""
        digest = hash_token(token)
        with self.lock:
            for t in self.tokens:
                if hmac.compare_digest(t["hash"], digest):
                    # Written out by the next sweep: a file write per request
                    # would make every phone poll hit the disk.
                    t["lastSeenAt"] = now
                    self.tokens_dirty = True
                    if t.get("confirmed") is False:
                        # At once, unlike lastSeenAt: a token whose first use
                        # were lost would be dropped as never used.
                        del t["confirmed"]
                        self.save()
                    return t
        return None

    def has_tokens(self, provider):
        with self.lock:
            return any(t.get("provider") == provider for t in self.tokens)

    def remove_tokens(self, predicate):
        """Revokes the matching tokens with their push registrations; how many went."""
        with self.lock:
            gone = [t for t in self.tokens if predicate(t)]
            if gone:
                ids = set(t["id"] for t in gone)
                self.tokens = [t for t in self.tokens if t["id"] not in ids]
                self.push_regs = [r for r in self.push_regs if r.get("tokenId") not in ids]
                self.save()
            return len(gone)

    def token_rows(self):
        """The paired tokens as the status document lists them."""
        with self.lock:
            rows = []
            for t in self.tokens:
                try:
                    row = {"id": wire_text(t["id"]), "provider": t.get("provider"),
                           "createdAt": wire_time(t["createdAt"], iso_s)}
                    if t.get("lastSeenAt"):
                        row["lastSeenAt"] = wire_time(t["lastSeenAt"], iso_s)
                except (KeyError, TypeError, ValueError, OverflowError) as exc:
                    # Left out rather than failing the status document.
                    if t.get("id") not in self._unlisted:
                        self._unlisted.add(t.get("id"))
                        log("token %s left out of the status: %s" % (shown(t.get("id")), exc))
                    continue
                rows.append(row)
            return rows

    # -- push registrations ------------------------------------------------

    def register_push(self, token, reg, now):
        with self.lock:
            same = lambda r: (r.get("tokenId") == token["id"] and r.get("deviceID") == reg["deviceID"]
                              and r.get("kind") == reg["kind"])
            self.push_regs = [r for r in self.push_regs if not same(r)]
            mine = [r for r in self.push_regs if r.get("tokenId") == token["id"]]
            if len(mine) >= MAX_PUSH_PER_TOKEN:
                self.push_regs.remove(mine[0])
            entry = dict(reg, tokenId=token["id"], updatedAt=now)
            self.push_regs.append(entry)
            self.save()

    def registrations_for(self, provider):
        """Push registrations of the phones paired for provider."""
        with self.lock:
            token_ids = set(t["id"] for t in self.tokens if t.get("provider") == provider)
            return [r for r in self.push_regs if r.get("tokenId") in token_ids]

    # -- aging -------------------------------------------------------------

    def sweep(self, now):
        """Rotates an old code, forgets old wrong guesses and unused tokens, writes out lastSeenAt."""
        with self.lock:
            self.current_code(now)
            if self.failures:
                self._prune_failures(now)
            lifetime = self.config["unusedTokenLifetime"]
            unused = lambda t: t.get("confirmed") is False and now - t["createdAt"] >= lifetime
            if any(unused(t) for t in self.tokens):
                for t in self.tokens:
                    if unused(t):
                        log("token %s was never used since pairing; dropped" % t["id"])
                self.remove_tokens(unused)
            if self.tokens_dirty and now - self.tokens_saved >= LAST_SEEN_PERSIST_EVERY:
                self.save()


# A stored token; "confirmed" is written (false) only until the phone first
# uses the token, so tokens stored before it existed count as used.
TOKEN_FIELDS = {
    "id": (True, lambda v: is_id(v, 64) and v.isascii() and v.isprintable()),
    "provider": (False, optional(one_of(*PROVIDERS))),
    "hash": (True, lambda v: isinstance(v, str) and len(v) == 64 and all(c in "0123456789abcdef" for c in v)),
    "createdAt": (True, is_instant),
    "lastSeenAt": (False, optional(is_instant)),
    "confirmed": (False, is_bool),
}

PUSH_FIELDS = {
    "tokenId": (True, is_text),
    "deviceID": (True, lambda v: is_text(v, 512, empty=False)),
    "token": (True, lambda v: is_text(v, 512, empty=False)),
    "environment": (True, lambda v: is_text(v, 512, empty=False)),
    "kind": (True, one_of("activity", "pushToStart")),
    "pushKey": (False, lambda v: is_text(v, 1024)),
    "updatedAt": (False, is_instant),
}


# ---------------------------------------------------------------------------
# Push


class PushDispatch(object):
    """Hands a session that needs attention to the phones paired for its agent.

    No state of its own: registrations live in the pairing book, the queue
    in the gateway (apns.py), whose send_session never blocks.
    """

    def __init__(self, gateway, pairing):
        self.gateway = gateway
        self.pairing = pairing

    @property
    def configured(self):
        return bool(self.gateway is not None and self.gateway.configured)

    def session_needs_attention(self, provider, wire):
        if not self.configured:
            return
        regs = self.pairing.registrations_for(provider)
        if regs:
            self.gateway.send_session(regs, wire)


# ---------------------------------------------------------------------------
# The relay: its parts composed


class Relay(object):
    """The relay's state, in parts that each own their data, file and lock.

    board (SessionBoard): sessions, prompts, away mode; state.json.
    pairing (PairingBook): code, tokens, push registrations; tokens.json.
    push (PushDispatch): no state.
    Lock order: board, then pairing (the board's attention listener reads
    registrations); the pairing book never calls out, and this facade never
    holds a lock of its own, so no cycle can form.
    """

    def __init__(self, home, config, push=None, clock=time.time):
        self.home = home
        self.config = config
        self.clock = clock
        self.board = SessionBoard(JsonStore(os.path.join(home, "state.json")), config, clock)
        self.pairing = PairingBook(JsonStore(os.path.join(home, "tokens.json"), ensure_ascii=True),
                                   config, clock)
        self.push = PushDispatch(push, self.pairing)
        if self.push.configured:
            self.board.on_attention = self.push.session_needs_attention
        self.pairing_base = None
        self.tls_fingerprint = None
        self.board.load()
        self.pairing.load()

    def close(self):
        self.board.close()
        self.pairing.save()

    def sweep(self, now):
        self.pairing.sweep(now)
        self.board.sweep(now)

    def raise_permission(self, payload, now):
        return self.board.raise_permission(payload, now, phone_paired=self.pairing.has_tokens("claude"))

    def session_list(self, provider, now):
        self.pairing.sweep(now)
        return self.board.session_list(provider, now)

    def pairing_link(self, code):
        link = "idlewyn://pair?url=%s&code=%s" % (
            urllib.parse.quote(self.pairing_base or "", safe=""), urllib.parse.quote(code, safe=""))
        if self.tls_fingerprint:
            link += "&pin=" + self.tls_fingerprint
        return link

    def status_document(self, now):
        sessions = self.session_list(None, now)
        code = self.pairing.current_code(now)
        return {
            "version": VERSION,
            "sessions": sessions,
            "remoteApprovals": self.board.away(),
            "pushConfigured": self.push.configured,
            "pairingLink": self.pairing_link(code),
            "pairingCode": code,
            "tlsFingerprint": self.tls_fingerprint,
            "tokens": self.pairing.token_rows(),
        }


# ---------------------------------------------------------------------------
# HTTP


def _match(pattern, segments):
    """Path arguments when the segments fit the pattern ("*" = one segment)."""
    if len(pattern) != len(segments):
        return None
    args = []
    for p, seg in zip(pattern, segments):
        if p == "*":
            args.append(urllib.parse.unquote(seg))
        elif p != seg:
            return None
    return args


LONE_SURROGATE = re.compile("[\ud800-\udfff]")


def without_lone_surrogates(value):
    """The decoded JSON with each unpaired UTF-16 surrogate replaced by U+FFFD.

    JSON may escape half a surrogate pair ("\\ud83d": an agent that cut a
    string in the middle of an emoji), and such a string can be neither
    answered nor saved as UTF-8: one of them in a session made every session
    list and the status document fail and stopped state.json being written.
    """
    if isinstance(value, str):
        return LONE_SURROGATE.sub("\ufffd", value)
    if isinstance(value, list):
        return [without_lone_surrogates(v) for v in value]
    if isinstance(value, dict):
        return dict((without_lone_surrogates(k), without_lone_surrogates(v)) for k, v in value.items())
    return value


def _object(body):
    if not isinstance(body, dict):
        raise RequestError(400, "the request body must be a JSON object")
    return body


def _field(body, key, kind, required=True):
    value = body.get(key)
    if value is None and not required:
        return None
    if not isinstance(value, kind) or (kind is int and isinstance(value, bool)):
        raise RequestError(400, "%s must be %s" % (key, {str: "a string", bool: "true or false"}.get(kind, kind.__name__)))
    return value


# Who may call a route. A phone shows the bearer token it paired for; the app
# the admin secret (hook-secret); the hook scripts the hook token, which
# opens their routes and nothing else; pairing takes no credential but the
# code in its body. Admin and hook callers must be on this machine.
PHONE, ADMIN, HOOK, ANYONE = "phone", "admin", "hook", "anyone"
# Where a route is served: the device listener (phones reach it, over the LAN
# when it serves https) and the plain loopback listener of the hooks and the
# app, which phones never reach.
DEVICE, LOOPBACK = "device", "loopback"
EVERYWHERE = (DEVICE, LOOPBACK)

# Routes: (path pattern, caller, listeners, {method: Handler method}); "*"
# matches one path segment, which the Handler method gets as an argument.
# The caller and the listener are checked before any handler runs.
ROUTES = [
    ("v1/pair", ANYONE, (DEVICE,), {"POST": "h_pair"}),
    ("v1/sessions", PHONE, (DEVICE,), {"GET": "h_sessions"}),
    ("v1/permissions/*", PHONE, (DEVICE,), {"POST": "h_decide"}),
    ("v1/settings", PHONE, (DEVICE,), {"GET": "h_settings_get", "POST": "h_settings_post"}),
    ("v1/push/tokens", PHONE, (DEVICE,), {"POST": "h_push_tokens"}),
    ("v1/unpair", PHONE, (DEVICE,), {"POST": "h_unpair"}),
    ("v1/admin/status", ADMIN, EVERYWHERE, {"GET": "h_admin_status"}),
    ("v1/admin/settings", ADMIN, EVERYWHERE, {"POST": "h_admin_settings"}),
    ("v1/admin/tokens/revoke", ADMIN, EVERYWHERE, {"POST": "h_admin_revoke"}),
    ("v1/hooks/claude", HOOK, EVERYWHERE, {"POST": "h_hook_claude"}),
    ("v1/hooks/codex", HOOK, EVERYWHERE, {"POST": "h_hook_codex"}),
    ("v1/hooks/codex-notify", HOOK, EVERYWHERE, {"POST": "h_hook_codex_notify"}),
    ("v1/hooks/claude/permission", HOOK, EVERYWHERE, {"POST": "h_hook_permission"}),
    ("v1/hooks/permissions/*/wait", HOOK, EVERYWHERE, {"POST": "h_hook_wait"}),
]


def route(method, segments, routes=ROUTES):
    """(Handler method name, caller, listeners, path arguments) for a request,
    or RequestError 404/405."""
    for pattern, caller, listeners, methods in routes:
        args = _match(pattern.split("/"), segments)
        if args is None:
            continue
        name = methods.get(method)
        if name is None:
            raise RequestError(405, "method not allowed", {"Allow": ", ".join(sorted(methods))})
        return name, caller, listeners, args
    raise RequestError(404, "no such endpoint")


class _DeadlineReader(io.RawIOBase):
    """The socket as the request reader sees it: while a deadline is set,
    every read waits only for what is left of it, so bytes sent one at a
    time cannot keep a read going past it."""

    def __init__(self, sock):
        io.RawIOBase.__init__(self)
        self.sock = sock
        self.deadline = None

    def readable(self):
        return True

    def readinto(self, buffer):
        if self.deadline is not None:
            left = self.deadline - time.monotonic()
            if left <= 0:
                raise socket.timeout("request deadline passed")
            self.sock.settimeout(left)
        return self.sock.recv_into(buffer)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Nobody speaks HTTP/0.9 to us; answering a garbled request line as 0.9
    # would drop the status line and leave the client guessing.
    default_request_version = "HTTP/1.0"
    server_version = "VesperlineRelay/" + VERSION
    sys_version = ""
    # Idle keep-alive connections give their thread back after this long.
    timeout = 60

    def log_message(self, fmt, *args):
        pass

    def parse_request(self):
        if not BaseHTTPRequestHandler.parse_request(self):
            return False
        if self.request_version.startswith("HTTP/0."):
            self.send_error(505, "HTTP/1.0 or HTTP/1.1 only")
            return False
        return True

    def setup(self):
        BaseHTTPRequestHandler.setup(self)
        # Answers leave in one write; without this a reply on a kept-alive
        # connection would still wait for the peer's delayed ACK.
        try:
            self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        except (OSError, AttributeError):
            pass
        self.reader = None
        if not self.server.local_only:
            self.rfile.close()
            self.reader = _DeadlineReader(self.connection)
            self.rfile = io.BufferedReader(self.reader)
            # The first request is due from the moment the connection is ours.
            self.reader.deadline = time.monotonic() + REQUEST_DEADLINE

    def handle_one_request(self):
        if self.reader is not None and self.reader.deadline is None:
            # A kept-alive connection may idle (the socket's own timeout);
            # once the next request starts, it has to arrive in time.
            try:
                if not self.rfile.peek(1):
                    self.close_connection = True
                    return
            except (OSError, ValueError):
                self.close_connection = True
                return
            self.reader.deadline = time.monotonic() + REQUEST_DEADLINE
        BaseHTTPRequestHandler.handle_one_request(self)

    def _request_read(self):
        """The request is in: its handler and the answer run without the deadline."""
        if self.reader is not None and self.reader.deadline is not None:
            self.reader.deadline = None
            self.connection.settimeout(self.timeout)

    def send_error(self, code, message=None, explain=None):
        # Requests the HTTP parser already refused (bad request line, too many
        # headers...) get the same JSON shape as everything else.
        self.close_connection = True
        if self.request_version.startswith("HTTP/0."):
            # http.server writes neither status line nor headers to a request
            # line that names HTTP/0.9 (it is refused before or after its
            # headers are read); nobody here speaks 0.9, so it gets a proper
            # refusal instead.
            self.request_version = "HTTP/1.0"
        try:
            self._request_read()
            self._send(code, {"error": message or self.responses.get(code, ("error",))[0]})
        except OSError:
            pass

    def _send(self, status, obj, extra=None):
        body = json.dumps(obj, ensure_ascii=False, separators=(",", ":")).encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        for k, v in (extra or {}).items():
            self.send_header(k, v)
        if self.close_connection:
            self.send_header("Connection", "close")
        # Status line, headers and body in one write (one TCP segment for a
        # small answer): two writes cost a delayed-ACK round on some peers.
        self._headers_buffer.append(b"\r\n")
        if self.command != "HEAD":
            self._headers_buffer.append(body)
        self.flush_headers()

    def _body(self):
        if self.headers.get("Transfer-Encoding"):
            self.close_connection = True
            raise RequestError(411, "send the body with a Content-Length")
        length = self.headers.get("Content-Length")
        if length is None:
            return b""
        try:
            n = int(length)
            if n < 0:
                raise ValueError
        except ValueError:
            self.close_connection = True
            raise RequestError(400, "invalid Content-Length")
        limit = MAX_LOCAL_BODY if self.server.local_only else MAX_BODY
        if n > limit:
            # The unread body would be taken for the next request: hang up.
            self.close_connection = True
            raise RequestError(413, "request body larger than %d bytes" % limit)
        data = self.rfile.read(n) if n else b""
        if len(data) != n:
            self.close_connection = True
            raise RequestError(400, "request body shorter than its Content-Length")
        return data

    def _json(self, optional=False):
        data = self.raw_body
        if not data.strip():
            if optional:
                return {}
            raise RequestError(400, "a JSON body is required")
        try:
            value = json.loads(data.decode("utf-8"))
        except (ValueError, RecursionError):
            raise RequestError(400, "malformed JSON")
        # Only an escape can make a lone surrogate (the bytes were UTF-8).
        try:
            return without_lone_surrogates(value) if b"\\u" in data else value
        except RecursionError:
            raise RequestError(400, "JSON nested too deeply")

    def _admit(self, caller, listeners):
        """Refuses a caller the route is not for; a phone's token record is kept as self.token."""
        self.token = None
        if self.server.listener not in listeners:
            raise RequestError(404, "not served here")
        if caller == PHONE:
            auth = self.headers.get("Authorization", "")
            scheme, _, token = auth.partition(" ")
            token = token.strip()
            if scheme.lower() != "bearer" or not token:
                raise RequestError(401, "missing bearer token")
            self.token = self.server.relay.pairing.authenticate(token, self.server.relay.clock())
            if self.token is None:
                raise RequestError(401, "unknown or revoked token")
        elif caller in (ADMIN, HOOK):
            if not is_loopback(self.client_address[0]):
                raise RequestError(403, "only this machine may use this endpoint")
            wanted = self.server.secret if caller == ADMIN else self.server.hook_token
            given = self.headers.get("X-Idlewyn-Secret", "").strip().encode("utf-8")
            if not (wanted and hmac.compare_digest(given, wanted.encode("utf-8"))):
                raise RequestError(401, "wrong or missing X-Idlewyn-Secret")

    def _dispatch(self):
        try:
            parts = urllib.parse.urlsplit(self.path)
            self.query = urllib.parse.parse_qs(parts.query)
            # Read the body first, whatever the route: an unread body would be
            # taken for the next request on this keep-alive connection.
            self.raw_body = self._body()
            self._request_read()
            name, caller, listeners, args = route(self.command, [seg for seg in parts.path.split("/") if seg])
            self._admit(caller, listeners)
            status, obj = getattr(self, name)(*args)
            self._send(status, obj)
        except RequestError as exc:
            if exc.logged:
                self.server.log_for(self.client_address[0], "%s %s from %s: %d %s" % (
                    self.command, urllib.parse.urlsplit(self.path).path, self.client_address[0], exc.status,
                    exc.message))
            self._send(exc.status, {"error": exc.message}, exc.headers)
        except (ConnectionError, socket.timeout, ssl.SSLError):
            # The peer went away mid-answer (a cancelled hook over TLS ends
            # with an EOF that breaks the TLS protocol): nobody to answer.
            self.close_connection = True
        except Exception as exc:
            import traceback
            self.server.log_for(self.client_address[0], "internal error on %s %s: %s\n%s" % (
                self.command, self.path, exc, traceback.format_exc()))
            self.close_connection = True
            try:
                self._send(500, {"error": "internal error"})
            except OSError:
                pass

    do_GET = do_POST = do_PUT = do_DELETE = do_PATCH = do_HEAD = do_OPTIONS = _dispatch

    def __getattr__(self, name):
        # Any other method is the route table's to judge (405 on a known
        # path, 404 elsewhere), not http.server's 501, a server error.
        if name.startswith("do_"):
            return self._dispatch
        raise AttributeError(name)

    # -- device API ----------------------------------------------------------

    def h_pair(self):
        body = _object(self._json())
        provider = _field(body, "provider", str)
        if provider not in PROVIDERS:
            raise RequestError(400, "provider must be \"claude\" or \"codex\"")
        code = _field(body, "code", str)
        return 200, self.server.relay.pairing.pair(self.client_address[0], provider, code, self.server.relay.clock())

    def h_sessions(self):
        token = self.token
        provider = (self.query.get("provider") or [token.get("provider")])[0]
        if provider not in PROVIDERS:
            raise RequestError(400, "provider must be \"claude\" or \"codex\"")
        if provider != token.get("provider"):
            # A phone pairs once per agent; each token reads its own agent's
            # sessions (and the prompts in them) only.
            raise RequestError(403, "this token was paired for %s" % token.get("provider"))
        return 200, {"sessions": self.server.relay.session_list(provider, self.server.relay.clock())}

    def h_decide(self, pid):
        token = self.token
        body = _object(self._json())
        decision = _field(body, "decision", str)
        if decision not in DECISIONS:
            raise RequestError(400, "decision must be \"allow\", \"deny\" or \"always\"")
        if not self.server.relay.board.decide(pid, decision, self.server.relay.clock(), token.get("provider")):
            raise RequestError(404, "that permission prompt was already answered or has expired")
        return 200, {"ok": True}

    def h_settings_get(self):
        return 200, {"remoteApprovals": self.server.relay.board.away()}

    def h_settings_post(self):
        value = _field(_object(self._json()), "remoteApprovals", bool)
        return 200, {"remoteApprovals": self.server.relay.board.set_remote_approvals(value)}

    def h_push_tokens(self):
        token = self.token
        body = _object(self._json())
        reg = {}
        for key in ("deviceID", "token", "environment"):
            reg[key] = _field(body, key, str)
            if not reg[key] or len(reg[key]) > 512:
                raise RequestError(400, "%s must be 1 to 512 characters" % key)
        reg["kind"] = _field(body, "kind", str)
        if reg["kind"] not in ("activity", "pushToStart"):
            raise RequestError(400, "kind must be \"activity\" or \"pushToStart\"")
        push_key = _field(body, "pushKey", str, required=False)
        if push_key is not None:
            reg["pushKey"] = push_key[:1024]
        self.server.relay.pairing.register_push(token, reg, self.server.relay.clock())
        return 200, {"ok": True}

    def h_unpair(self):
        token = self.token
        self._json(optional=True)
        self.server.relay.pairing.remove_tokens(lambda t: t["id"] == token["id"])
        log("phone unpaired (token %s)" % token["id"])
        return 200, {"ok": True}

    # -- admin API -----------------------------------------------------------

    def h_admin_status(self):
        return 200, self.server.relay.status_document(self.server.relay.clock())

    def h_admin_settings(self):
        value = _field(_object(self._json()), "remoteApprovals", bool)
        return 200, {"remoteApprovals": self.server.relay.board.set_remote_approvals(value)}

    def h_admin_revoke(self):
        tid = _field(_object(self._json()), "id", str)
        n = self.server.relay.pairing.remove_tokens(lambda t: t["id"] == tid)
        if n:
            log("revoked token %s" % tid)
        return 200, {"revoked": n}

    # -- hooks ---------------------------------------------------------------

    def h_hook_claude(self):
        return self._hook("claude")

    def h_hook_codex(self):
        return self._hook("codex")

    def _hook(self, provider):
        return 200, self.server.relay.board.hook_event(provider, _object(self._json()), self.server.relay.clock())

    def h_hook_codex_notify(self):
        return 200, self.server.relay.board.codex_notify(_object(self._json()), self.server.relay.clock())

    def h_hook_permission(self):
        payload = _object(self._json())
        if "agentPid" not in payload:
            # The shell hook names its parent; the agent is the first process
            # up from there that is no shell (the relay runs as the same user).
            parent = (self.query.get("parent") or [""])[0]
            payload["agentPid"] = agent_pid(int(parent)) if parent.isdigit() else None
        return 200, self.server.relay.raise_permission(payload, self.server.relay.clock())

    def h_hook_wait(self, pid):
        self._json(optional=True)
        return 200, self.server.relay.board.wait_prompt(pid, WAIT_SLICE, self._peer_gone)

    def _peer_gone(self):
        # The hook sends nothing after its request, so a readable socket means
        # it closed the connection (or broke protocol, which counts the same).
        # poll, not select: select cannot watch a descriptor above 1023, and
        # taking such a hook for gone would end its prompt.
        try:
            poller = select.poll()
            poller.register(self.connection, select.POLLIN)
            return bool(poller.poll(0))
        except (OSError, ValueError):
            return True


def address_key(host):
    """Whose connection it is: the IPv4 address, or an IPv6 address's /64
    (one host picks addresses from its /64 at will)."""
    try:
        ip = ipaddress.ip_address(host.split("%", 1)[0])
    except ValueError:
        return host
    mapped = getattr(ip, "ipv4_mapped", None)
    if mapped is not None:
        return str(mapped)
    if ip.version == 6:
        return str(ipaddress.ip_network("%s/64" % ip, strict=False))
    return str(ip)


# What the requests of one address may add to the log: this many lines a
# minute, then one line that counts the rest. Otherwise a machine on the LAN
# sending bad requests in a loop would write a line for each, without end.
LOG_LINES_PER_ADDRESS = 5
LOG_WINDOW = 60.0
# Addresses with a window open at once; lines from any more are only counted.
LOG_ADDRESSES = 4096


class LogBudget(object):
    def __init__(self, clock):
        self.clock = clock
        self.lock = threading.Lock()
        # address key -> [window start, lines written, lines held back]
        self.windows = {}
        self.uncounted = 0

    def log(self, address, message):
        key = address_key(address)
        now = self.clock()
        lines = []
        with self.lock:
            window = self.windows.get(key)
            if window is not None and now - window[0] >= LOG_WINDOW:
                lines.append(self._held_back(key, window))
                window = None
            if window is None:
                if len(self.windows) >= LOG_ADDRESSES:
                    self.uncounted += 1
                    window = [now, LOG_LINES_PER_ADDRESS, 0]
                else:
                    window = self.windows[key] = [now, 0, 0]
            if window[1] < LOG_LINES_PER_ADDRESS:
                window[1] += 1
                lines.append(message)
            else:
                window[2] += 1
        for line in lines:
            if line:
                log(line)

    def sweep(self, now):
        """Closes the windows that are over, saying what each held back."""
        with self.lock:
            over = [(key, self.windows.pop(key)) for key, w in list(self.windows.items())
                    if now - w[0] >= LOG_WINDOW]
            lines = [self._held_back(key, window) for key, window in over]
            if self.uncounted:
                lines.append("%d more log lines about requests from other addresses were not written"
                             % self.uncounted)
                self.uncounted = 0
        for line in lines:
            if line:
                log(line)

    @staticmethod
    def _held_back(key, window):
        if not window[2]:
            return None
        return ("%d more log lines about requests from %s were not written (at most %d a minute)"
                % (window[2], key, LOG_LINES_PER_ADDRESS))


def _tls_handshake(context, sock, deadline):
    """The server side of the handshake, done by the deadline or not at all."""
    tls = context.wrap_socket(sock, server_side=True, do_handshake_on_connect=False)
    try:
        tls.setblocking(False)
        poller = select.poll()
        while True:
            try:
                tls.do_handshake()
                break
            except ssl.SSLWantReadError:
                events = select.POLLIN
            except ssl.SSLWantWriteError:
                events = select.POLLOUT
            left = deadline - time.monotonic()
            if left <= 0:
                raise socket.timeout("TLS handshake deadline passed")
            poller.register(tls, events)
            poller.poll(left * 1000)
            poller.unregister(tls)
        tls.setblocking(True)
        return tls
    except BaseException:
        # The wrapper owns the descriptor now; the caller only has the husk.
        tls.close()
        raise


class RelayServer(ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 128
    # Above this many open connections new ones are turned away rather than
    # letting a flood exhaust threads and memory. The loopback listener has
    # its own: the device server's clients can never use it up.
    max_connections = 512

    def __init__(self, address, relay, secret, ssl_context, local_only=False, hook_token=None,
                 max_connections=None, log_budget=None):
        # local_only: the plain loopback listener of the hooks and the admin
        # API, which phones never reach. Everyone else is held to
        # MAX_CONNECTIONS_PER_ADDRESS; the hooks may need many at once.
        self.local_only = local_only
        self.listener = LOOPBACK if local_only else DEVICE
        self.hook_token = hook_token
        self.relay = relay
        self.secret = secret
        self.ssl_context = ssl_context
        self.log_budget = log_budget or LogBudget(relay.clock)
        if max_connections is not None:
            self.max_connections = max_connections
        self.slots = threading.BoundedSemaphore(self.max_connections)
        self.per_address_limit = None if local_only else MAX_CONNECTIONS_PER_ADDRESS
        self.per_address = {}
        self.per_address_lock = threading.Lock()
        ThreadingHTTPServer.__init__(self, address, Handler)

    def log_for(self, address, message):
        """Logs what a request from address gave rise to, within that address's share of the log."""
        self.log_budget.log(address, message)

    def handle_error(self, request, client_address):
        import traceback
        self.log_for(client_address[0], "error serving %s: %s" % (client_address[0], traceback.format_exc()))

    def _refuse(self, request):
        # Cheap: no thread, no TLS, no answer; a reset frees the socket at once.
        try:
            request.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        except OSError:
            pass
        request.close()

    def _leave(self, key):
        if key is None:
            return
        with self.per_address_lock:
            n = self.per_address.get(key, 0) - 1
            if n > 0:
                self.per_address[key] = n
            else:
                self.per_address.pop(key, None)

    def process_request(self, request, client_address):
        key = None
        if self.per_address_limit is not None:
            key = address_key(client_address[0])
            with self.per_address_lock:
                n = self.per_address.get(key, 0)
                if n >= self.per_address_limit:
                    key = None
                else:
                    self.per_address[key] = n + 1
            if key is None:
                self._refuse(request)
                return
        if not self.slots.acquire(blocking=False):
            self._leave(key)
            self._refuse(request)
            return
        try:
            ThreadingHTTPServer.process_request(self, (request, key), client_address)
        except Exception:
            self.slots.release()
            self._leave(key)
            raise

    def process_request_thread(self, request, client_address):
        # The TLS handshake happens here, in the connection's own thread, so a
        # slow or silent client never stalls the accept loop.
        request, key = request
        try:
            if self.ssl_context is not None:
                request = _tls_handshake(self.ssl_context, request, time.monotonic() + REQUEST_DEADLINE)
            self.finish_request(request, client_address)
        except (OSError, ssl.SSLError):
            pass
        except Exception:
            self.handle_error(request, client_address)
        finally:
            self.shutdown_request(request)
            self.slots.release()
            self._leave(key)


class LocalServer(RelayServer):
    """Plain http on 127.0.0.1 for the hooks (and the admin API): no TLS to set
    up in a hook that has a few milliseconds, and nothing for phones."""
    address_family = socket.AF_INET

    def __init__(self, relay, secret, hook_token, max_connections=None, log_budget=None):
        RelayServer.__init__(self, ("127.0.0.1", 0), relay, secret, None, local_only=True, hook_token=hook_token,
                             max_connections=max_connections, log_budget=log_budget)


def connection_budget():
    """(device server, loopback listener) connection limits that fit in the
    open-file limit, raised first where it is low (launchd starts agents with
    256): were the device server's clients to use up the descriptors, the
    loopback listener could not accept a hook or the app at all."""
    try:
        import resource
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        want = 4096 if hard == resource.RLIM_INFINITY else min(4096, hard)
        if soft != resource.RLIM_INFINITY and soft < want:
            try:
                resource.setrlimit(resource.RLIMIT_NOFILE, (want, hard))
            except (ValueError, OSError):
                pass
            soft = resource.getrlimit(resource.RLIMIT_NOFILE)[0]
        files = 4096 if soft == resource.RLIM_INFINITY else soft
    except (ImportError, OSError, ValueError):
        files = 1024
    # Stores, logs, listeners, pipes to agents' processes and the push
    # gateway's connections stay outside the two limits.
    spare = max(32, files - 96)
    device = min(RelayServer.max_connections, spare * 2 // 3)
    return device, min(RelayServer.max_connections, spare - device)


# ---------------------------------------------------------------------------
# Serving


def serve():
    home = home_dir()
    ensure_home(home)
    import fcntl
    lock = open(os.path.join(home, "relay.lock"), "a")
    try:
        fcntl.flock(lock.fileno(), fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError:
        log("another relay is already running for %s; exiting" % home)
        return 1
    remove_leftover_temporaries(home)

    config = load_config(home)
    global _log_rotation
    _log_rotation = LogRotation.of_output(os.path.join(home, "relay.log"), config["logLimit"])
    secret = ensure_secret(home)
    # What the shell hooks send: it opens the hook routes only, so a stranger
    # who catches it (say, on a port a crashed relay left behind) gains no
    # more than a hook already has; the admin secret never leaves the app.
    hook_token = ensure_secret(home, "hook-token")
    url_file = os.path.join(home, "relay-url")
    try:
        os.unlink(url_file)
    except OSError:
        pass

    want_tls = config.get("tls")
    if want_tls is None:
        want_tls = bool(shutil.which("openssl")) or (
            os.path.exists(os.path.join(home, "relay-cert.pem")) and os.path.exists(os.path.join(home, "relay-key.pem")))
    ssl_context = None
    fingerprint = None
    if want_tls:
        pair = ensure_certificate(home)
        if pair is None:
            log("TLS unavailable; serving plain http on this machine only")
        else:
            ssl_context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            ssl_context.minimum_version = ssl.TLSVersion.TLSv1_2
            ssl_context.load_cert_chain(pair[0], pair[1])
            fingerprint = fingerprint_of_pem(pair[0])
    host = config.get("host") or ("0.0.0.0" if ssl_context else "127.0.0.1")
    if ssl_context is None and not is_loopback(host):
        log("warning: plain http on %s; tokens and pairing codes cross the network unencrypted" % host)

    push = None
    try:
        import apns
        push = apns.PushGateway(config.get("pushGateway"), log)
    except ImportError:
        log("apns.py not found next to relay.py; push notifications are off")

    relay = Relay(home, config, push)
    relay.board.start_saver()
    relay.sweep(relay.clock())
    device_max, local_max = connection_budget()
    log_budget = LogBudget(relay.clock)
    try:
        RelayServer.address_family = socket.AF_INET6 if ":" in host else socket.AF_INET
        server = RelayServer((host, config["port"]), relay, secret, ssl_context, hook_token=hook_token,
                             max_connections=device_max, log_budget=log_budget)
    except OSError as exc:
        log("cannot listen on %s:%s: %s" % (host, config["port"], exc))
        return 1
    try:
        local = LocalServer(relay, secret, hook_token, max_connections=local_max, log_budget=log_budget)
    except OSError as exc:
        log("cannot listen on 127.0.0.1 for the hooks: %s" % exc)
        return 1
    port = server.server_address[1]
    scheme = "https" if ssl_context else "http"
    wildcard = host in ("0.0.0.0", "::")
    local_host = "127.0.0.1" if wildcard or is_loopback(host) else url_host(host)
    advertise = config.get("advertiseHost") or (lan_address() if wildcard else host)
    relay.pairing_base = "%s://%s:%d" % (scheme, url_host(advertise), port)
    relay.tls_fingerprint = fingerprint

    stopping = threading.Event()

    def janitor():
        tick = max(0.2, min(5.0, config["staleAfter"] / 4, config["pairingCodeLifetime"] / 4,
                            config["unusedTokenLifetime"] / 4))
        while not stopping.wait(tick):
            try:
                now = relay.clock()
                relay.sweep(now)
                log_budget.sweep(now)
            except Exception as exc:
                log("sweep failed: %s" % exc)

    def terminal_watcher():
        # Cheap when idle: it only reads files and the process table while a
        # terminal dialog of Claude's is open.
        while not stopping.wait(TERMINAL_WATCH_EVERY):
            try:
                relay.board.watch_terminals()
            except Exception as exc:
                log("terminal watch failed: %s" % exc)

    def on_signal(signum, frame):
        if not stopping.is_set():
            stopping.set()
            threading.Thread(target=server.shutdown, daemon=True).start()
            threading.Thread(target=local.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)
    threading.Thread(target=janitor, daemon=True).start()
    threading.Thread(target=terminal_watcher, daemon=True).start()

    threading.Thread(target=local.serve_forever, kwargs={"poll_interval": 0.25}, daemon=True).start()
    local_port_file = os.path.join(home, "local-port")
    local_port = str(local.server_address[1])
    atomic_write(local_port_file, local_port + "\n", 0o600)
    local_url = "%s://%s:%d" % (scheme, local_host, port)
    atomic_write(url_file, local_url + "\n", 0o644)
    log("Vesperline relay %s listening on %s://%s:%d (local %s, pairing via %s)"
        % (VERSION, scheme, url_host(host), port, local_url, relay.pairing_base))
    try:
        server.serve_forever(poll_interval=0.25)
    finally:
        stopping.set()
        relay.close()
        local.shutdown()
        server.server_close()
        local.server_close()
        for path, mine in ((url_file, local_url), (local_port_file, local_port)):
            if read_text(path) == mine:
                try:
                    os.unlink(path)
                except OSError:
                    pass
        log("relay stopped")
    return 0


# ---------------------------------------------------------------------------
# Hook client: what the hook scripts run. It must never fail or block the agent.


class LocalRelay(object):
    """The relay's loopback listener, found afresh for each request so that a
    restarted relay is found."""

    def __init__(self, home):
        # No local-port means no relay is listening (it is removed on exit and
        # written only once the port is open): guessing a port could hand the
        # token to some other program.
        port = read_text(os.path.join(home, "local-port"))
        if not port or not port.isdigit():
            raise OSError("the relay is not running")
        self.port = int(port)
        self.token = read_text(os.path.join(home, "hook-token")) or ""

    def post(self, path, obj, timeout):
        conn = HTTPConnection("127.0.0.1", self.port, timeout=timeout)
        try:
            body = json.dumps(obj).encode("utf-8")
            conn.request("POST", "/" + path, body, {"Content-Type": "application/json",
                                                    "X-Idlewyn-Secret": self.token})
            response = conn.getresponse()
            data = response.read()
            if response.status != 200:
                return None
            result = json.loads(data.decode("utf-8"))
            return result if isinstance(result, dict) else None
        finally:
            conn.close()


def read_hook_payload(stream):
    data = stream.read(16 << 20)
    payload = json.loads(data.decode("utf-8", "replace"))
    return payload if isinstance(payload, dict) else None


class HookClient(object):
    """The wait of claude-permission-hook.sh for a prompt the relay holds.

    The hook scripts report every event from bash themselves; only a held
    prompt starts Python, to long-poll for the phone's answer. connect(home)
    gives the transport (LocalRelay); clock and sleep pace the wait.
    """

    def __init__(self, home, connect=None, clock=time.monotonic, sleep=time.sleep):
        self.home = home
        self.connect = connect or LocalRelay
        self.clock = clock
        self.sleep = sleep

    def post(self, path, obj, timeout):
        return self.connect(self.home).post(path, obj, timeout)

    def wait_for_phone(self, payload, prompt_id, wait):
        """Long-polls a held prompt; returns what the hook prints, or None."""
        wait = float(wait) if _number(wait) else 0.0
        deadline = self.clock() + min(wait, MAX_PERMISSION_TIMEOUT) + 3
        path = "v1/hooks/permissions/%s/wait" % urllib.parse.quote(prompt_id, safe="")
        while self.clock() < deadline:
            try:
                result = self.post(path, {}, timeout=WAIT_SLICE + 10)
            except (OSError, ValueError):
                self.sleep(0.5)
                continue
            if result is None or result.get("state") == "gone":
                return None
            if result.get("state") == "decided" and result.get("decision") in DECISIONS:
                return permission_output(result["decision"], payload)
        return None

    def run(self, kind, args, stdin, stdout):
        """Serves `relay.py hook claude-permission-wait PROMPT-ID SECONDS`; raises on any failure."""
        if kind != "claude-permission-wait":
            return
        payload = read_hook_payload(stdin)
        if payload is None:
            return
        wait = args[1] if len(args) > 1 else "0"
        output = self.wait_for_phone(payload, args[0] if args else "",
                                     float(wait) if wait.replace(".", "", 1).isdigit() else 0.0)
        if output is not None:
            stdout.write(json.dumps(output) + "\n")
            stdout.flush()


def run_hook(args):
    # Whatever goes wrong, the agent carries on as if no relay were there.
    try:
        HookClient(home_dir()).run(args[0] if args else "", args[1:], sys.stdin.buffer, sys.stdout)
    except Exception:
        pass
    return 0


# ---------------------------------------------------------------------------
# install-hooks

HOOK_MARK = "/%s/bin/hooks/" % HOME_DIR_NAME
OUR_SCRIPTS = ("claude-hook.sh", "claude-permission-hook.sh", "codex-notify.sh")

CLAUDE_HOOKS = [
    ("SessionStart", None, "claude-hook.sh", 10),
    ("UserPromptSubmit", None, "claude-hook.sh", 10),
    ("PreToolUse", "*", "claude-hook.sh", 10),
    ("PostToolUse", "*", "claude-hook.sh", 10),
    ("PostToolUseFailure", "*", "claude-hook.sh", 10),
    ("PermissionRequest", "*", "claude-permission-hook.sh", PERMISSION_HOOK_TIMEOUT),
    ("PermissionDenied", "*", "claude-hook.sh", 10),
    ("Notification", None, "claude-hook.sh", 10),
    ("Stop", None, "claude-hook.sh", 10),
    ("StopFailure", None, "claude-hook.sh", 10),
    ("SessionEnd", None, "claude-hook.sh", 10),
]

# Codex awaits its PermissionRequest hook before showing the terminal prompt,
# so the Codex hook only reports; it never holds a prompt.
CODEX_HOOKS = [
    ("SessionStart", None, "codex-notify.sh", 10),
    ("UserPromptSubmit", None, "codex-notify.sh", 10),
    ("PreToolUse", "*", "codex-notify.sh", 10),
    ("PermissionRequest", "*", "codex-notify.sh", 10),
    ("PostToolUse", "*", "codex-notify.sh", 10),
    ("Stop", None, "codex-notify.sh", 10),
    ("SessionEnd", None, "codex-notify.sh", 10),
]


class InstallError(Exception):
    pass


def _is_ours(handler):
    command = handler.get("command") if isinstance(handler, dict) else None
    return (isinstance(command, str) and HOOK_MARK in command
            and any(name in command for name in OUR_SCRIPTS))


def merge_hooks(doc, wanted, command_for, label):
    """Puts one handler of ours per event, leaving everyone else's alone."""
    hooks = doc.setdefault("hooks", {})
    if not isinstance(hooks, dict):
        raise InstallError("%s: \"hooks\" is not an object; fix it by hand first" % label)
    changes = []
    for event, matcher, script, timeout in wanted:
        handler = {"type": "command", "command": command_for(script), "timeout": timeout}
        group = {"hooks": [handler]}
        if matcher is not None:
            group = {"matcher": matcher, "hooks": [handler]}
        groups = hooks.get(event, [])
        if not isinstance(groups, list):
            raise InstallError("%s: hooks.%s is not a list; fix it by hand first" % (label, event))
        ours = [(g, h) for g in groups if isinstance(g, dict) and isinstance(g.get("hooks"), list)
                for h in g["hooks"] if _is_ours(h)]
        if len(ours) == 1 and ours[0][1] == handler and (ours[0][0].get("matcher") or None) == matcher:
            continue
        kept = []
        for g in groups:
            if isinstance(g, dict) and isinstance(g.get("hooks"), list) and any(_is_ours(h) for h in g["hooks"]):
                rest = [h for h in g["hooks"] if not _is_ours(h)]
                if not rest:
                    continue
                g = dict(g, hooks=rest)
            kept.append(g)
        hooks[event] = kept + [group]
        changes.append("%s %s hook (%s)" % ("update" if ours else "add", event, script))
    return changes


class AgentFile(object):
    """One agent configuration file as the user keeps it.

    People link these files from a dotfiles repository, make them read-only
    on purpose, or edit them on Windows with CRLF and a BOM. A rewrite keeps
    all of that: it writes through links into the target's own folder, keeps
    the permission bits, the BOM, the line ending, the indentation and the
    file's end, and a file we may not write is reported instead of replaced.
    """

    BOM = "\ufeff"

    def __init__(self, path, pretty):
        self.path = path
        self.pretty = pretty
        self.target = path          # where the bytes live, links followed
        self.text = None            # current text without the BOM; None when there is no file
        self.bom = False
        self.mode = 0o644
        self.problem = None         # why the file cannot be read or written, in the user's words
        self.owner = None
        self.hard_links = 1
        if os.path.islink(path):
            try:
                os.stat(path)
            except OSError as exc:
                if exc.errno == errno.ELOOP:
                    self.problem = ("%s is a link that loops (%s), so install-hooks leaves it as it is. "
                                    "Point it at a real file and run install-hooks again."
                                    % (pretty(path), pretty(os.readlink(path))))
                else:
                    self.problem = ("%s is a link to %s, which does not exist, so install-hooks leaves it "
                                    "as it is. Create that file (or remove the link) and run install-hooks "
                                    "again." % (pretty(path), pretty(self._link_target(path))))
                return
            self.target = os.path.realpath(path)
        elif not os.path.lexists(path):
            parent = os.path.dirname(path)
            if os.path.lexists(parent) and not os.path.isdir(parent):
                self.problem = ("%s is not a folder, so install-hooks cannot create %s. Fix it and run "
                                "install-hooks again." % (pretty(parent), pretty(path)))
            return
        try:
            with open(self.target, "rb") as f:
                raw = f.read()
            self.text = raw.decode("utf-8")
        except (OSError, UnicodeDecodeError) as exc:
            raise InstallError("%s is not readable (%s); nothing was changed" % (pretty(path), exc))
        if self.text.startswith(self.BOM):
            self.bom, self.text = True, self.text[len(self.BOM):]
        st = os.stat(self.target)
        self.mode = st.st_mode & 0o777
        self.owner = (st.st_uid, st.st_gid)
        self.hard_links = st.st_nlink

    @staticmethod
    def _link_target(path):
        return os.path.normpath(os.path.join(os.path.dirname(path), os.readlink(path)))

    def unwritable(self):
        """Why the file must not be rewritten, or None."""
        if self.problem or self.text is None:
            return self.problem
        where = self.pretty(self.path)
        # The mode bit, not access(): a read-only file is the user's choice
        # even for root, whom access() always lets write.
        if not self.mode & 0o200:
            return ("%s is read-only, so install-hooks leaves it as it is. Make it writable "
                    "(chmod u+w %s) and run install-hooks again." % (where, where))
        if not os.access(self.target, os.W_OK) or not os.access(os.path.dirname(self.target), os.W_OK):
            return ("%s cannot be written by this user, so install-hooks leaves it as it is. Fix its "
                    "owner or permissions and run install-hooks again." % where)
        return None

    def eol(self):
        return "\r\n" if _uses_crlf(self.text or "") else "\n"

    def load_json(self):
        """The document as a dict ({} for a missing or empty file)."""
        if self.text is None or not self.text.strip():
            return {}
        try:
            doc = json.loads(self.text)
        except ValueError as exc:
            raise InstallError("%s is not readable JSON (%s); nothing was changed" % (self.pretty(self.path), exc))
        if not isinstance(doc, dict):
            raise InstallError("%s does not hold a JSON object; nothing was changed" % self.pretty(self.path))
        return doc

    def json_text(self, doc):
        """doc laid out the way the file already is."""
        indent = 2
        for line in (self.text or "").split("\n"):
            lead = line[:len(line) - len(line.lstrip(" \t"))]
            if lead and line[len(lead):].startswith('"'):
                indent = lead
                break
        body = json.dumps(doc, indent=indent, ensure_ascii=False).replace("\n", self.eol())
        old = self.text or ""
        return body + (old[len(old.rstrip()):] if old.strip() else self.eol())

    def write(self, text):
        data = ((self.BOM if self.bom else "") + text).encode("utf-8")
        parent = os.path.dirname(self.target)
        if not os.path.isdir(parent):
            os.makedirs(parent, mode=0o700)
        if self.hard_links > 1:
            # Replacing the file would cut it off from its other names; the
            # backup made just before covers a write cut short.
            with open(self.target, "r+b") as f:
                f.write(data)
                f.truncate()
                f.flush()
                os.fsync(f.fileno())
        else:
            atomic_write(self.target, data, self.mode)
        # A run under sudo must not hand the user's file to root.
        if self.owner is not None:
            st = os.stat(self.target)
            if (st.st_uid, st.st_gid) != self.owner:
                try:
                    os.chown(self.target, *self.owner)
                except OSError:
                    pass


def _uses_crlf(text):
    crlf = text.count("\r\n")
    return crlf > 0 and crlf * 2 >= text.count("\n")


def _lines(text):
    """Lines with their endings, split at LF only (CRLF stays whole, and a
    form feed or U+2028 inside a value does not start a line)."""
    parts = text.split("\n")
    lines = [part + "\n" for part in parts[:-1]]
    if parts[-1]:
        lines.append(parts[-1])
    return lines


def _toml_scan(text):
    """Line facts for a TOML file: header lines and top-level key spans.

    Returns (first_header_line or None, {key: (first_line, last_line)}) for
    keys of the root table; strings, comments and multi-line arrays are
    skipped so that a "[" inside them is not taken for a table header.
    """
    lines = _lines(text)
    depth = 0
    in_ml = None
    keys = {}
    current = None
    for i, line in enumerate(lines):
        stripped = line.lstrip()
        if in_ml is None and depth == 0:
            if current is not None:
                keys[current[0]] = (current[1], i - 1)
                current = None
            if stripped.startswith("["):
                return i, keys
            name = stripped.split("=", 1)[0].strip().strip("\"'") if "=" in stripped and not stripped.startswith("#") else None
            if name:
                current = (name, i)
        j = 0
        while j < len(line):
            if in_ml:
                end = line.find(in_ml, j)
                if end < 0:
                    break
                j = end + 3
                in_ml = None
                continue
            ch = line[j]
            if ch == "#":
                break
            if line.startswith('"""', j) or line.startswith("'''", j):
                in_ml = line[j:j + 3]
                j += 3
                continue
            if ch in "\"'":
                k = j + 1
                while k < len(line) and line[k] != ch:
                    k += 2 if (ch == '"' and line[k] == "\\") else 1
                j = k + 1
                continue
            if ch in "[{":
                depth += 1
            elif ch in "]}":
                depth = max(0, depth - 1)
            j += 1
    if current is not None:
        keys[current[0]] = (current[1], len(lines) - 1)
    return None, keys


def plan_codex_notify(text, script_path):
    """New config.toml text (or None when unchanged) and a note for the report.

    The file keeps its line ending (CRLF files get CRLF on our line too) and
    its end: a file without a final newline still ends without one.
    """
    eol = "\r\n" if _uses_crlf(text) else "\n"
    wanted = "notify = [%s]" % json.dumps(script_path)
    lines = _lines(text)
    header, keys = _toml_scan(text)
    if "notify" in keys:
        first, last = keys["notify"]
        current = "".join(lines[first:last + 1])
        if HOOK_MARK in current and "codex-notify.sh" in current:
            if current.strip() == wanted:
                return None, None
            lines[first:last + 1] = [wanted + (eol if current.endswith("\n") else "")]
            return "".join(lines), "update notify (codex-notify.sh)"
        return None, ("another notify program is set (%s) and was left as it is, "
                      "so Codex turn completions reach the relay through its hooks only"
                      % one_line(current.split("=", 1)[1], 120))
    at = len(lines) if header is None else header
    while at > 0 and header is not None and (not lines[at - 1].strip() or lines[at - 1].lstrip().startswith("#")):
        at -= 1
    unterminated = at > 0 and not lines[at - 1].endswith("\n")
    if unterminated:
        lines[at - 1] += eol
    # Only the last line can lack its newline, and ours then takes its place as the end.
    insert = [wanted + ("" if unterminated else eol)]
    if at < len(lines) and lines[at].strip():
        insert.append(eol)
    lines[at:at] = insert
    return "".join(lines), "add notify (codex-notify.sh)"


def _check_toml(text, label):
    try:
        import tomllib
    except ImportError:
        return None
    try:
        return tomllib.loads(text)
    except ValueError as exc:
        raise InstallError("%s is not valid TOML (%s); nothing was changed" % (label, exc))


def _backup(path, stamp):
    target = "%s.bak-%s" % (path, stamp)
    n = 1
    while os.path.exists(target):
        target = "%s.bak-%s-%d" % (path, stamp, n)
        n += 1
    shutil.copy2(path, target)
    return target


def install_hooks(dry_run, out, home=None):
    """Writes (or with dry_run only reports) the agents' hook configuration under home.

    Returns 0 when every agent is set up, 1 when a file had to be left as it
    is (read-only, a broken link). The dry run returns the same: a preview
    that passes would offer an Apply bound to fail, so the app shows the
    report as an error up front. An agent whose file is blocked gets none of
    its files changed, so it is never half set up; the other agent is still
    set up, since its files are independent of the blocked one.
    """
    home = home or os.environ.get("HOME") or os.path.expanduser("~")
    hooks_dir = os.path.join(home, HOME_DIR_NAME, "bin", "hooks")
    script = lambda name: os.path.join(hooks_dir, name)
    pretty = lambda p: "~" + p[len(home):] if p.startswith(home + "/") else p

    claude_file = AgentFile(os.path.join(home, ".claude", "settings.json"), pretty)
    toml_file = AgentFile(os.path.join(home, ".codex", "config.toml"), pretty)
    codex_file = AgentFile(os.path.join(home, ".codex", "hooks.json"), pretty)

    # (agent, label, file, new text, changes, what to say when unchanged)
    plans = []

    claude = claude_file.load_json()
    changes = merge_hooks(claude, CLAUDE_HOOKS, lambda s: shlex.quote(script(s)), pretty(claude_file.path))
    plans.append(("Claude Code", "Claude Code", claude_file, claude_file.json_text(claude), changes, None))

    toml_old = toml_file.text
    if toml_old is not None:
        _check_toml(toml_old, pretty(toml_file.path))
    toml_new, note = plan_codex_notify(toml_old or "", script("codex-notify.sh"))
    if toml_new is not None:
        parsed = _check_toml(toml_new, "the edited " + pretty(toml_file.path))
        if parsed is not None and parsed.get("notify") != [script("codex-notify.sh")]:
            raise InstallError("could not add notify to %s safely; nothing was changed" % pretty(toml_file.path))
        plans.append(("Codex", "Codex", toml_file, toml_new, [note], None))
    else:
        plans.append(("Codex", "Codex", toml_file, None, [], note))

    codex = codex_file.load_json()
    codex_changes = merge_hooks(codex, CODEX_HOOKS, lambda s: shlex.quote(script(s)) + " --hook",
                                pretty(codex_file.path))
    plans.append(("Codex", "Codex hooks", codex_file, codex_file.json_text(codex), codex_changes, None))

    # A broken link blocks its agent even without changes: neither we nor the
    # agent can read what the user meant to keep there.
    whys = [f.problem or (f.unwritable() if changes else None) for _, _, f, _, changes, _ in plans]
    blockers = {}
    for (agent, _, f, _, _, _), why in zip(plans, whys):
        if why:
            blockers.setdefault(agent, []).append(f)
    pending = [p for p in plans if p[4] and p[0] not in blockers]
    stamp = time.strftime("%Y%m%d-%H%M%S")
    lines = []
    for (agent, label, f, new, changes, unchanged), why in zip(plans, whys):
        if why:
            # What is missing stays listed, for whoever adds it by hand.
            lines.append("%s: %s" % (label, why))
            lines.extend("  - " + c for c in changes)
            continue
        if agent in blockers and changes:
            lines.append("%s: %s is left as it is too, so that %s is set up in one go once %s can be changed"
                         % (label, pretty(f.path), agent, ", ".join(pretty(b.path) for b in blockers[agent])))
            continue
        if not changes:
            lines.append("%s: %s" % (label, unchanged or "already set up in " + pretty(f.path)))
            continue
        where = pretty(f.path)
        if f.target != f.path:
            where += " (a link to %s)" % pretty(f.target)
        lines.append("%s: %s%s" % (label, where, "" if f.text is not None else " (new file)"))
        lines.extend("  - " + c for c in changes)
    if codex_changes and "Codex" not in blockers:
        lines.append("Codex runs new or changed hooks only after you trust them. The next time you start "
                     "codex it asks about them: choose \u201cTrust all and continue\u201d (or type /hooks in "
                     "Codex and press t). Until then Codex reports only each finished turn.")
    missing = [name for name in OUR_SCRIPTS if not os.path.exists(script(name))]
    if missing:
        lines.append("Note: %s not found in %s yet; start the relay from Vesperline Relay to install them."
                     % (", ".join(missing), pretty(hooks_dir)))
    if not pending and not blockers:
        lines.append("Nothing to change.")
    elif dry_run:
        lines.append("(dry run) Nothing was changed; run install-hooks to apply.")
    else:
        for _, _, f, new, _, _ in pending:
            if f.text is not None:
                lines.append("Backed up %s to %s" % (pretty(f.path), pretty(_backup(f.path, stamp))))
            f.write(new)
        done = sorted(set(p[0] for p in pending))
        if done and not blockers:
            lines.append("Done. Restart running Claude Code and Codex sessions to pick up the hooks.")
        elif done:
            lines.append("Done for %s. Restart running %s sessions to pick up the hooks."
                         % (" and ".join(done), " and ".join(done)))
    if blockers:
        lines.append("Not set up: %s; see above for what to do." % " and ".join(sorted(blockers)))
    out.write("\n".join(lines) + "\n")
    return 1 if blockers else 0


# ---------------------------------------------------------------------------


def main(argv):
    command = argv[1] if len(argv) > 1 else None
    if command is None:
        return serve()
    if command == "hook":
        code = run_hook(argv[2:])
        # The agent goes on only once the hook process is gone; the
        # interpreter's teardown would only make it wait longer.
        try:
            sys.stdout.flush()
        except (OSError, ValueError):
            pass
        os._exit(code)
    if command == "install-hooks" and all(a == "--dry-run" for a in argv[2:]):
        try:
            return install_hooks("--dry-run" in argv[2:], sys.stdout)
        except (InstallError, OSError) as exc:
            sys.stdout.write("install-hooks failed: %s\n" % exc)
            return 1
    sys.stderr.write("usage: relay.py [install-hooks [--dry-run]]\n")
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
