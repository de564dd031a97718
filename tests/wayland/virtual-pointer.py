#!/usr/bin/env python3
"""Gives a headless compositor's seat a pointer, and holds it until ended.

sway on its headless back end has no input devices, so its seat offers no
pointer and no client ever sees one: `swaymsg seat seat0 cursor move` then
moves a cursor nobody is told about. A virtual pointer (the wlroots
compositors' virtual-pointer protocol) is a pointer device like any other:
while this program runs, the seat has a pointer, clients that start after it
get pointer events, and `swaymsg seat seat0 cursor ...` moves and clicks it.

Speaks the Wayland wire format itself, so that the tests need no client
library or protocol code for this one request. Prints "ready" once the
compositor has made the device, and exits 1, saying why, when it cannot.

    virtual-pointer.py    (with XDG_RUNTIME_DIR and WAYLAND_DISPLAY set)
"""

import os
import signal
import socket
import struct
import sys

DISPLAY_ID, REGISTRY_ID, CALLBACK_ID, SEAT_ID, MANAGER_ID, POINTER_ID, SYNC_ID = 1, 2, 3, 4, 5, 6, 7
MANAGER = "zwlr_virtual_pointer_manager_v1"


def message(target, opcode, payload=b""):
    """A request: the object, the size and opcode, then the arguments."""
    return struct.pack("=II", target, (8 + len(payload)) << 16 | opcode) + payload


def string(text):
    """A string argument: its length with the closing NUL, then it, padded."""
    data = text.encode() + b"\0"
    return struct.pack("=I", len(data)) + data + b"\0" * (-len(data) % 4)


def events(sock):
    """The compositor's events, as (object, opcode, arguments)."""
    buffer = b""
    while True:
        while len(buffer) >= 8:
            target, word = struct.unpack_from("=II", buffer)
            size = word >> 16
            if len(buffer) < size:
                break
            yield target, word & 0xFFFF, buffer[8:size]
            buffer = buffer[size:]
        data = sock.recv(4096)
        if not data:
            return
        buffer += data


def global_(args):
    """A wl_registry.global event's name, interface and version."""
    name, length = struct.unpack_from("=II", args)
    interface = args[8:8 + length - 1].decode()
    (version,) = struct.unpack_from("=I", args, 8 + length + (-length % 4))
    return name, interface, version


def bind(sock, name, interface, version, new_id):
    sock.sendall(message(REGISTRY_ID, 0, struct.pack("=I", name) + string(interface) +
                         struct.pack("=II", version, new_id)))


def main():
    runtime = os.environ.get("XDG_RUNTIME_DIR", "")
    display = os.environ.get("WAYLAND_DISPLAY", "wayland-0")
    path = display if display.startswith("/") else os.path.join(runtime, display)
    sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    try:
        sock.connect(path)
    except OSError as error:
        sys.exit(f"virtual-pointer: cannot connect to {path}: {error}")
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))

    # The globals, up to the round trip's end.
    sock.sendall(message(DISPLAY_ID, 1, struct.pack("=I", REGISTRY_ID)) +
                 message(DISPLAY_ID, 0, struct.pack("=I", CALLBACK_ID)))
    seat = manager = None
    stream = events(sock)
    for target, opcode, args in stream:
        if target == REGISTRY_ID and opcode == 0:
            name, interface, _ = global_(args)
            if interface == "wl_seat" and seat is None:
                seat = name
            elif interface == MANAGER:
                manager = name
        elif target == CALLBACK_ID:
            break
        elif target == DISPLAY_ID and opcode == 0:
            sys.exit("virtual-pointer: the compositor reported an error")
    if seat is None or manager is None:
        sys.exit(f"virtual-pointer: the compositor offers no {'wl_seat' if seat is None else MANAGER}")

    # The device, then a round trip to know the compositor took it.
    bind(sock, seat, "wl_seat", 1, SEAT_ID)
    bind(sock, manager, MANAGER, 1, MANAGER_ID)
    sock.sendall(message(MANAGER_ID, 0, struct.pack("=II", SEAT_ID, POINTER_ID)) +
                 message(DISPLAY_ID, 0, struct.pack("=I", SYNC_ID)))
    for target, opcode, _ in stream:
        if target == DISPLAY_ID and opcode == 0:
            sys.exit("virtual-pointer: the compositor refused the virtual pointer")
        if target == SYNC_ID:
            break
    print("ready", flush=True)
    # Held until SIGTERM, or until the compositor goes.
    for _ in stream:
        pass


if __name__ == "__main__":
    main()
