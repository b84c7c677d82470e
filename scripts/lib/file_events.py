"""Waiting for a file to change without polling: Linux inotify through the C library."""

import ctypes
import ctypes.util
import os
import select
import time

IN_CLOSE_WRITE = 0x00000008
IN_MOVED_TO = 0x00000080
IN_CREATE = 0x00000100

_libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)


class FolderEvents:
    """Notifications of files written or moved into one folder."""

    def __init__(self, folder):
        self.fd = _libc.inotify_init1(os.O_CLOEXEC)
        if self.fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        if _libc.inotify_add_watch(self.fd, os.fsencode(folder),
                                   IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE) < 0:
            os.close(self.fd)
            raise OSError(ctypes.get_errno(), f"inotify_add_watch {folder}")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        os.close(self.fd)

    def wait_for(self, condition, timeout, what):
        """Tests the condition now and after every change in the folder."""
        deadline = time.monotonic() + timeout
        while not condition():
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise TimeoutError(f"timed out waiting for {what}")
            if select.select([self.fd], [], [], remaining)[0]:
                os.read(self.fd, 65536)
