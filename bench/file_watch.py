"""Waiting for a file to be written, woken by the kernel (inotify) rather than
by polling, so that the time a bench takes is the moment the write ended,
whatever the machine's load does to a polling loop."""
import ctypes
import ctypes.util
import os
import select
import struct
import time

IN_MODIFY = 0x002
IN_CLOSE_WRITE = 0x008
IN_MOVED_TO = 0x080
IN_NONBLOCK = 0o4000
IN_CLOEXEC = 0o2000000

_libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
_libc.inotify_add_watch.argtypes = [ctypes.c_int, ctypes.c_char_p, ctypes.c_uint32]
_EVENT = struct.Struct("iIII")  # wd, mask, cookie, len; then the name


class FolderWatch:
    """inotify on one folder: which of its files were written, when."""

    def __init__(self, folder, mask=IN_CLOSE_WRITE | IN_MOVED_TO | IN_MODIFY):
        self.fd = _libc.inotify_init1(IN_NONBLOCK | IN_CLOEXEC)
        if self.fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        if _libc.inotify_add_watch(self.fd, os.fsencode(folder), mask) < 0:
            os.close(self.fd)
            raise OSError(ctypes.get_errno(), f"inotify_add_watch {folder}")

    def close(self):
        os.close(self.fd)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def wait(self, timeout, also=()):
        """Waits up to `timeout` seconds for events, or for one of the file
        descriptors in `also` to become readable. Returns (monotonic time of
        the wake-up, [(name, mask)...], [readable fds of `also`])."""
        readable, _, _ = select.select([self.fd, *also], [], [], max(0.0, timeout))
        now = time.monotonic()
        events = []
        if self.fd in readable:
            try:
                data = os.read(self.fd, 1 << 16)
            except BlockingIOError:
                data = b""
            at = 0
            while at + _EVENT.size <= len(data):
                _, mask, _, length = _EVENT.unpack_from(data, at)
                name = data[at + _EVENT.size:at + _EVENT.size + length].rstrip(b"\0")
                events.append((os.fsdecode(name), mask))
                at += _EVENT.size + length
        return now, events, [fd for fd in readable if fd != self.fd]
