#!/usr/bin/python3
"""tty_answer.py ANSWER1,ANSWER2,... COMMAND [ARG...]: runs COMMAND on a pseudo-terminal, types
each answer after the next prompt (text ending in ": "), prints the transcript, exits with its status."""
import os
import pty
import select
import sys


def main():
    answers = sys.argv[1].split(",") if sys.argv[1] else []
    pid, fd = pty.fork()
    if pid == 0:
        os.execvp(sys.argv[2], sys.argv[2:])
    transcript = b""
    pending = b""
    while True:
        ready, _, _ = select.select([fd], [], [], 10)
        if not ready:
            break
        try:
            chunk = os.read(fd, 4096)
        except OSError:
            break
        if not chunk:
            break
        transcript += chunk
        pending += chunk
        if answers and pending.rstrip(b" ").endswith(b":"):
            os.write(fd, answers.pop(0).encode() + b"\n")
            pending = b""
    _, status = os.waitpid(pid, 0)
    sys.stdout.write(transcript.decode(errors="replace"))
    sys.exit(os.waitstatus_to_exitcode(status))


main()
