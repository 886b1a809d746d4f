#!/usr/bin/python3
"""Speaks to the installed helper as any local program could, for tests/system/run.

  helper_client.py run <subcommand>    one launchctl request (or createLogDirectory); prints its
                                       status (64: refused; 0 or the error for the folder)
  helper_client.py agent <subcommand> <password> <then>
                                       the same, with a text authentication agent of its own
                                       given the password; prints what it showed; then, with
                                       the agent gone, the request <then> (and its status)
  helper_client.py leave <subcommand>  the request with a text authentication agent of its own,
                                       the connection closed once the agent asks for a password;
                                       prints what it showed
  helper_client.py orphan <subcommand> the request from a process that inherited the connection
                                       from its connector, once that has exited
  helper_client.py flood <kind> <n>    n requests of one kind, a few connections at a time,
                                       each answered or closed before the next; prints "done"
      kinds: subcommand (an unknown one), frame (malformed JSON), call (an unknown method),
             refused (a known subcommand polkit refuses)
"""
import fcntl
import json
import os
import pty
import socket
import struct
import subprocess
import sys
import termios
import threading
import time

SOCKET = "/run/com.velmora.QorPrivilegedHelper.socket"
RUN = "runQorLaunchctlWithSubcommand:completion:"
FOLDER = "createLogDirectoryWithCompletion:"


def connect():
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    s.settimeout(60)
    s.connect(SOCKET)
    return s


def send(s, payload):
    s.sendall(struct.pack(">I", len(payload)) + payload)


def call(s, message):
    send(s, json.dumps(message).encode())


def read_exact(s, n):
    data = b""
    while len(data) < n:
        chunk = s.recv(n - len(data))
        if not chunk:
            return None
        data += chunk
    return data


def reply(s, ident):
    """The reply to call `ident`, past one-way calls (forwarded output); None when closed."""
    while True:
        head = read_exact(s, 4)
        if head is None:
            return None
        message = json.loads(read_exact(s, struct.unpack(">I", head)[0]))
        if message.get("id") == ident:
            return message


def run(subcommand):
    s = connect()
    if subcommand == "createLogDirectory":
        call(s, {"id": 1, "selector": FOLDER, "arguments": []})
        answer = reply(s, 1)
        error = answer["reply"][1] if answer and "reply" in answer else answer
        print(error["description"] if error else 0)
        return
    call(s, {"id": 1, "selector": RUN, "arguments": [subcommand]})
    answer = reply(s, 1)
    print(answer["reply"][0] if answer and "reply" in answer else answer)


def flood(kind, count):
    # An unknown subcommand as long as one may be: the text a sender chooses.
    unknown = "x" * 8000
    s = connect()
    for i in range(count):
        if kind == "frame":
            # The helper closes the connection on a frame it cannot read.
            send(s, b"{not json")
            s.recv(1)
            s.close()
            s = connect()
            continue
        if kind == "subcommand":
            message = {"id": i, "selector": RUN, "arguments": [unknown]}
        elif kind == "call":
            message = {"id": i, "selector": "reboot:completion:", "arguments": []}
        else:
            message = {"id": i, "selector": RUN, "arguments": ["disable"]}
        call(s, message)
        if reply(s, i) is None:
            s = connect()
    print("done")


def orphaned(subcommand):
    result, status = os.pipe()
    connector = os.fork()
    if connector == 0:
        connection = connect()
        if os.fork() == 0:
            while os.getppid() == connector:  # until the connector is gone
                time.sleep(0.01)
            sys.stdout = os.fdopen(status, "w")
            call(connection, {"id": 1, "selector": RUN, "arguments": [subcommand]})
            answer = reply(connection, 1)
            print(answer["reply"][0] if answer and "reply" in answer else answer, flush=True)
        os._exit(0)
    os.close(status)
    os.waitpid(connector, 0)
    print(os.fdopen(result).read().strip())


def start_agent():
    """pkttyagent for this process on a terminal of our own: the agent and the terminal's end."""
    master, terminal = pty.openpty()

    def own_terminal():
        os.setsid()
        fcntl.ioctl(0, termios.TIOCSCTTY, 0)

    agent = subprocess.Popen(["pkttyagent", "--process", str(os.getpid())], stdin=terminal,
                             stdout=terminal, stderr=terminal, preexec_fn=own_terminal)
    os.close(terminal)
    time.sleep(1)  # until the agent is registered
    return agent, master


def leave(subcommand):
    agent, master = start_agent()
    s = connect()
    call(s, {"id": 1, "selector": RUN, "arguments": [subcommand]})
    shown = b""
    while b"Password:" not in shown:
        chunk = os.read(master, 4096)
        if not chunk:
            break
        shown += chunk
    s.close()
    time.sleep(1)  # what the agent shows once polkit takes the question back
    agent.terminate()
    agent.wait()
    print(shown.decode(errors="replace"))


def with_agent(subcommand, password, then):
    """run() with pkttyagent answering for this process on a terminal of our own, which gets
    `password` once it asks; prints what the agent showed."""
    agent, master = start_agent()
    shown = b""

    def answer():
        nonlocal shown
        while b"Password:" not in shown:
            chunk = os.read(master, 4096)
            if not chunk:
                return
            shown += chunk
        # The agent may flush its terminal's input as it turns echo off: write once it has.
        for _ in range(100):
            if not termios.tcgetattr(master)[3] & termios.ECHO:
                break
            time.sleep(0.05)
        os.write(master, password.encode() + b"\n")

    asker = threading.Thread(target=answer, daemon=True)
    asker.start()
    run(subcommand)
    agent.terminate()
    agent.wait()
    asker.join(1)
    print(shown.decode(errors="replace"))
    run(then)


if __name__ == "__main__":
    if sys.argv[1] == "run":
        run(sys.argv[2])
    elif sys.argv[1] == "leave":
        leave(sys.argv[2])
    elif sys.argv[1] == "orphan":
        orphaned(sys.argv[2])
    elif sys.argv[1] == "agent":
        with_agent(sys.argv[2], sys.argv[3], sys.argv[4])
    else:
        flood(sys.argv[2], int(sys.argv[3]))
