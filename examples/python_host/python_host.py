#!/usr/bin/env python3
"""A host for the corvane plug-in in Python, with the standard library only (ctypes).

It loads libcorvane.so, registers the plug-in on a messenger of its own, lends it a console
(standard error) and optionally a photo library, sends method calls in the standard binary codec,
and prints each answer as JSON, as `corvane call` does.

  python_host.py [--plugin LIBRARY] [--library FOLDER] FILE
      getPlatformVersion, then fingerprintOfFile FILE
  python_host.py [--plugin LIBRARY] [--library FOLDER] --call METHOD [ARG]
  python_host.py [--plugin LIBRARY] [--library FOLDER] --call getIfAssetExistInAlbum ASSET ALBUM [true|false]
      one call; ARG is sent as text, and no ARG as nil

LIBRARY defaults to $CORVANE_PLUGIN, else libcorvane.so.1 as the system's loader finds it.
"""
import argparse
import ctypes
import json
import os
import struct
import sys
import threading

# ---- The C boundary, as in corvane/corvane.h ----------------------------------------------------

MessageCallback = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_void_p)
BinaryReply = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_size_t, ctypes.c_void_p)
DestructionHandler = ctypes.CFUNCTYPE(None, ctypes.c_void_p)


class Message(ctypes.Structure):
    _fields_ = [("struct_size", ctypes.c_size_t), ("channel", ctypes.c_char_p),
                ("message", ctypes.c_void_p), ("message_size", ctypes.c_size_t),
                ("response_handle", ctypes.c_void_p)]


SetCallback = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_char_p, MessageCallback, ctypes.c_void_p)
SendResponse = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_void_p, ctypes.POINTER(ctypes.c_uint8),
                                ctypes.c_size_t)
Send = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_void_p, ctypes.c_size_t,
                        BinaryReply, ctypes.c_void_p)
ReportFault = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_char_p)
SetDestructionHandler = ctypes.CFUNCTYPE(None, ctypes.c_void_p, DestructionHandler, ctypes.c_void_p)
PrintLine = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.POINTER(ctypes.c_char), ctypes.c_size_t)


class Messenger(ctypes.Structure):
    _fields_ = [("struct_size", ctypes.c_size_t), ("user_data", ctypes.c_void_p),
                ("set_callback", SetCallback), ("send_response", SendResponse),
                ("send", Send), ("report_fault", ReportFault)]


class Console(ctypes.Structure):
    _fields_ = [("struct_size", ctypes.c_size_t), ("user_data", ctypes.c_void_p), ("print_line", PrintLine)]


class LentServices(ctypes.Structure):
    _fields_ = [("struct_size", ctypes.c_size_t), ("console", ctypes.POINTER(Console)),
                ("system_version", ctypes.c_char_p), ("photo_library_path", ctypes.c_char_p),
                ("file_observer", ctypes.c_void_p)]


class Registrar(ctypes.Structure):
    _fields_ = [("struct_size", ctypes.c_size_t), ("user_data", ctypes.c_void_p),
                ("messenger", ctypes.POINTER(Messenger)),
                ("set_destruction_handler", SetDestructionHandler),
                ("lent", ctypes.POINTER(LentServices))]


# ---- The standard codec, for the few values needed here -------------------------------------------

NULL, TRUE, FALSE, STRING, MAP = 0, 1, 2, 7, 13


def encode_size(size):
    if size < 254:
        return bytes([size])
    if size <= 0xFFFF:
        return bytes([254]) + struct.pack("<H", size)
    return bytes([255]) + struct.pack("<I", size)


def encode(value):
    if value is None:
        return bytes([NULL])
    if isinstance(value, bool):
        return bytes([TRUE if value else FALSE])
    if isinstance(value, str):
        data = os.fsencode(value)
        return bytes([STRING]) + encode_size(len(data)) + data
    if isinstance(value, dict):
        return bytes([MAP]) + encode_size(len(value)) + b"".join(encode(k) + encode(v) for k, v in value.items())
    raise TypeError(f"cannot encode {value!r}")


def answer_text(reply):
    """The answer as JSON (a text, null, true or false), or why there is none."""
    if not reply:
        return "not implemented"
    if reply[0] == 1:
        return "error reply"
    if reply[0] != 0 or len(reply) < 2:
        return "malformed reply"
    kind = reply[1]
    if kind in (NULL, TRUE, FALSE):
        return {NULL: "null", TRUE: "true", FALSE: "false"}[kind]
    if kind == STRING and len(reply) > 2:
        first, at = reply[2], 3
        if first >= 254:
            width = 2 if first == 254 else 4
            first, at = int.from_bytes(reply[3:3 + width], "little"), 3 + width
        return json.dumps(reply[at:at + first].decode("utf-8", "replace"), ensure_ascii=False)
    return f"a value of type {kind}"


# ---- The host --------------------------------------------------------------------------------------

class Host:
    """Registers the plug-in and sends it calls on "corvane"; replies may come from any thread."""

    def __init__(self, plugin, library_folder=None):
        self.lib = ctypes.CDLL(plugin)
        self.callback = None
        self.destroy = None
        self.pending = {}  # response handle -> [event, reply]
        self.lock = threading.Lock()
        self.next_handle = 1

        # Every ctypes function object must outlive its use by the plug-in: keep them all here.
        self.c_set_callback = SetCallback(self._set_callback)
        self.c_send_response = SendResponse(self._send_response)
        self.c_set_destruction_handler = SetDestructionHandler(self._set_destruction_handler)
        self.c_print_line = PrintLine(lambda _, text, length: print(ctypes.string_at(text, length).decode(
            "utf-8", "replace"), file=sys.stderr, flush=True))
        self.messenger = Messenger(ctypes.sizeof(Messenger), None, self.c_set_callback, self.c_send_response,
                                   Send(), ReportFault())
        self.console = Console(ctypes.sizeof(Console), None, self.c_print_line)
        self.lent = LentServices(ctypes.sizeof(LentServices), ctypes.pointer(self.console), None,
                                 os.fsencode(library_folder) if library_folder else None, None)
        registrar = Registrar(ctypes.sizeof(Registrar), None, ctypes.pointer(self.messenger),
                              self.c_set_destruction_handler, ctypes.pointer(self.lent))
        self.lib.CorvanePluginRegisterWithRegistrar.argtypes = [ctypes.POINTER(Registrar)]
        self.lib.CorvanePluginRegisterWithRegistrar(ctypes.byref(registrar))

    def _set_callback(self, _, channel, callback, callback_data):
        if channel == b"corvane":
            self.callback = (callback, callback_data) if callback else None

    def _send_response(self, _, handle, data, size):
        with self.lock:
            waiter = self.pending.pop(handle)
        waiter[1] = ctypes.string_at(data, size) if size else b""
        waiter[0].set()

    def _set_destruction_handler(self, _, handler, handler_data):
        self.destroy = (handler, handler_data)

    def send(self, message):
        if self.callback is None:
            return b""  # nobody listens: not implemented
        waiter = [threading.Event(), b""]
        with self.lock:
            handle, self.next_handle = self.next_handle, self.next_handle + 1
            self.pending[handle] = waiter
        buffer = ctypes.create_string_buffer(message, len(message))
        delivered = Message(ctypes.sizeof(Message), b"corvane", ctypes.cast(buffer, ctypes.c_void_p), len(message),
                            handle)
        callback, callback_data = self.callback
        callback(ctypes.addressof(delivered), callback_data)
        waiter[0].wait()
        return waiter[1]

    def call(self, method, argument=None):
        print(f"{method}: {answer_text(self.send(encode(method) + encode(argument)))}", flush=True)

    def close(self):
        """Releases the plug-in (it waits for its library's threads)."""
        if self.destroy:
            handler, handler_data = self.destroy
            self.destroy = None
            handler(handler_data)


def main():
    parser = argparse.ArgumentParser(description="Calls the corvane plug-in from Python.")
    parser.add_argument("--plugin", default=os.environ.get("CORVANE_PLUGIN") or "libcorvane.so.1")
    parser.add_argument("--library", help="the photo library's folder, lent to the plug-in")
    parser.add_argument("--call", nargs="+", metavar="ARG", help="METHOD [ARG | ASSET ALBUM [true|false]]")
    parser.add_argument("file", nargs="?")
    args = parser.parse_args()
    if (args.call is None) == (args.file is None):
        parser.error("give a FILE, or --call METHOD [ARG]")

    try:
        host = Host(args.plugin, args.library)
    except OSError as error:
        where = "as the system's loader looks (LD_LIBRARY_PATH, the installed prefix's library folder)" \
            if "/" not in args.plugin else "at that path"
        sys.exit(f"python_host: cannot load the plug-in library {args.plugin} {where}: {error}; "
                 "name it with --plugin PATH or $CORVANE_PLUGIN")
    try:
        if args.call is None:
            host.call("getPlatformVersion")
            host.call("fingerprintOfFile", args.file)
        else:
            method, rest = args.call[0], args.call[1:]
            if method == "getIfAssetExistInAlbum" and len(rest) >= 2:
                argument = {"assetId": rest[0], "pathId": rest[1],
                            "isUserAlbum": not (len(rest) > 2 and rest[2] == "false")}
            else:
                argument = rest[0] if rest else None
            host.call(method, argument)
    finally:
        host.close()


if __name__ == "__main__":
    main()
