"""The one failure type of the dump decoder.

Every failure the user can cause (a truncated file, an unsupported store
format, a corrupted record) is raised as DumpError with a complete,
one-line message. The command-line entry prints that line and exits 1, so a
user never sees a traceback for a bad dump.
"""


class DumpError(Exception):
    """A failure whose message is the complete user-facing text."""
