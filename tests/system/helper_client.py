#!/usr/bin/env python3
"""Asks the installed helper for one thing, as the app does, and prints its answer.

    helper_client.py version
    helper_client.py launchctl <subcommand>
    helper_client.py log-folder

Prints the helper's lines to standard error and its reply as JSON on standard output.
"""
import json
import socket
import struct
import sys

SOCKET = "/run/com.velmora.QorPrivilegedHelper.socket"
CALLS = {
    "version": ("getVersionWithCompletion:", []),
    "launchctl": ("runQorLaunchctlWithSubcommand:completion:", None),
    "log-folder": ("createLogDirectoryWithCompletion:", []),
}


def send(connection, message):
    data = json.dumps(message).encode()
    connection.sendall(struct.pack(">I", len(data)) + data)


def receive(connection):
    def exactly(size):
        data = b""
        while len(data) < size:
            more = connection.recv(size - len(data))
            if not more:
                raise SystemExit("the helper closed the connection")
            data += more
        return data

    (size,) = struct.unpack(">I", exactly(4))
    return json.loads(exactly(size))


def main(argv):
    selector, arguments = CALLS[argv[1]]
    if arguments is None:
        arguments = [argv[2]]
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as connection:
        connection.settimeout(120)
        connection.connect(SOCKET)
        send(connection, {"id": 1, "selector": selector, "arguments": arguments})
        while True:
            message = receive(connection)
            if message.get("id") == 1:
                print(json.dumps(message.get("reply", message.get("error"))))
                return 0
            for line in message.get("arguments", []):
                sys.stderr.write(line)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
