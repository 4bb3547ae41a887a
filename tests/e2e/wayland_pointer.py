#!/usr/bin/env python3
"""A pointer of the tests' own for a wlroots compositor (headless sway has none): a Wayland client
that speaks the wire protocol itself and adds a virtual pointer to the seat.

As a program it reads commands from standard input, one a line, until it ends:
    move X Y     the pointer to X, Y logical pixels of the layout (fractions kept to 1/256)
    press        the left button down
    release      the left button up
    sync         waits until the compositor has handled everything before, then prints "ok"
The layout's size in logical pixels comes as the arguments: wayland_pointer.py WIDTH HEIGHT."""
import os
import socket
import struct
import sys

BTN_LEFT = 0x110
MANAGER = "zwlr_virtual_pointer_manager_v1"


class VirtualPointer:
    def __init__(self, width, height):
        self.extent = (round(width * 256), round(height * 256))
        display = os.environ.get("WAYLAND_DISPLAY", "wayland-0")
        path = os.path.join(os.environ["XDG_RUNTIME_DIR"], display)
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(path)
        self.buffer = b""
        self.next_id = 2
        self.globals = {}
        registry = self.new_id()
        self.send(1, 1, struct.pack("<I", registry))
        self.roundtrip(lambda obj, op, body: obj == registry and op == 0 and self.on_global(body))
        if MANAGER not in self.globals:
            sys.exit(f"wayland_pointer: the compositor offers no {MANAGER}")
        manager = self.new_id()
        name, version = self.globals[MANAGER]
        self.send(registry, 0, struct.pack("<I", name) + self.string(MANAGER) +
                  struct.pack("<II", min(version, 1), manager))
        self.pointer = self.new_id()
        self.send(manager, 0, struct.pack("<II", 0, self.pointer))  # on the default seat
        self.roundtrip()
        self.time = 0

    def new_id(self):
        self.next_id += 1
        return self.next_id - 1

    @staticmethod
    def string(text):
        data = text.encode() + b"\0"
        return struct.pack("<I", len(data)) + data + b"\0" * (-len(data) % 4)

    def send(self, obj, opcode, args=b""):
        self.sock.sendall(struct.pack("<II", obj, (8 + len(args)) << 16 | opcode) + args)

    def on_global(self, body):
        name, length = struct.unpack_from("<II", body)
        interface = body[8:8 + length - 1].decode()
        (version,) = struct.unpack_from("<I", body, 8 + length + (-length % 4))
        self.globals[interface] = (name, version)

    def size_of_next(self):
        return struct.unpack_from("<I", self.buffer, 4)[0] >> 16

    def roundtrip(self, handle=lambda obj, op, body: None):
        """Sends wl_display.sync and handles events until its callback is done."""
        callback = self.new_id()
        self.send(1, 0, struct.pack("<I", callback))
        while True:
            while len(self.buffer) < 8 or len(self.buffer) < self.size_of_next():
                data = self.sock.recv(4096)
                if not data:
                    sys.exit("wayland_pointer: the compositor closed the connection")
                self.buffer += data
            obj, word = struct.unpack_from("<II", self.buffer)
            size, opcode = word >> 16, word & 0xFFFF
            body, self.buffer = self.buffer[8:size], self.buffer[size:]
            if obj == 1 and opcode == 0:
                _, code, length = struct.unpack_from("<III", body)
                message = body[12:12 + length - 1].decode()
                sys.exit(f"wayland_pointer: protocol error {code}: {message}")
            if obj == callback and opcode == 0:
                return
            handle(obj, opcode, body)

    def frame(self, opcode, args):
        self.time += 1
        self.send(self.pointer, opcode, struct.pack("<I", self.time) + args)
        self.send(self.pointer, 4)

    def move(self, x, y):
        self.frame(1, struct.pack("<IIII", round(x * 256), round(y * 256), *self.extent))

    def button(self, pressed):
        self.frame(2, struct.pack("<II", BTN_LEFT, 1 if pressed else 0))


def main():
    pointer = VirtualPointer(float(sys.argv[1]), float(sys.argv[2]))
    for line in sys.stdin:
        words = line.split()
        if words[:1] == ["move"]:
            pointer.move(float(words[1]), float(words[2]))
        elif words in (["press"], ["release"]):
            pointer.button(words == ["press"])
        elif words == ["sync"]:
            pointer.roundtrip()
            print("ok", flush=True)
        elif words:
            sys.exit(f"wayland_pointer: unknown command {line.strip()!r}")


if __name__ == "__main__":
    main()
