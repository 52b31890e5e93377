#!/usr/bin/python3
"""Stands in for the Whisper command line in tests.

Tests copy this file to wherever the lookup should find it. Beside the copy,
"fake-mode" says what to do; the fake records its arguments in "args.json" and
its process id in "pid" there. With "--output_dir D" and an audio path A it
writes D/<A's name without its last extension>.json, as Whisper does.

Modes: succeed, succeed-with-error-status, fail, fail-with-output, bad-json,
flood, sleep, ignore-term, sleep-with-child.
"""
import json
import os
import signal
import subprocess
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))


def beside(name):
    return os.path.join(here, name)


def read_mode():
    try:
        with open(beside("fake-mode")) as f:
            return f.read().strip() or "succeed"
    except OSError:
        return "succeed"


def audio_path(args):
    """The song, read as Whisper's own argument parser reads it: after "--" every
    word is a file; before it, a word beginning with "-" is an option."""
    if "--" in args:
        return args[args.index("--") + 1]
    with_value = {"--model", "--output_format", "--output_dir", "--fp16"}
    i = 0
    while i < len(args):
        if args[i] in with_value:
            i += 2
            continue
        if args[i].startswith("-"):
            print("error: unrecognized arguments: " + args[i], file=sys.stderr)
            sys.exit(2)
        return args[i]
    print("error: the following arguments are required: audio", file=sys.stderr)
    sys.exit(2)


def finished():
    """Marks a run that was not stopped but ran to its end."""
    with open(beside("finished"), "w") as f:
        f.write("1")


def write_output(args, payload):
    audio = audio_path(args)
    folder = args[args.index("--output_dir") + 1]
    stem = os.path.splitext(os.path.basename(audio))[0]
    with open(os.path.join(folder, stem + ".json"), "w") as f:
        f.write(payload)


TRANSCRIPT = json.dumps({
    "text": " Hello there\n general Kenobi \n",
    "language": "en",
    "segments": [
        {"id": 0, "text": " Hello there", "start": 0.0, "end": 1.5},
        {"id": 1, "text": " general Kenobi ", "start": 1.5, "end": 3.25},
    ],
})


def main():
    args = sys.argv[1:]
    with open(beside("args.json"), "w") as f:
        json.dump(args, f)
    with open(beside("pid"), "w") as f:
        f.write(str(os.getpid()))
    mode = read_mode()

    if mode == "succeed":
        write_output(args, TRANSCRIPT)
        print("[00:00.000 --> 00:01.500]  Hello there")
        return 0
    if mode == "succeed-with-error-status":
        write_output(args, TRANSCRIPT)
        return 3
    if mode == "fail":
        print("RuntimeError: model not found", file=sys.stderr)
        return 1
    if mode == "fail-with-output":
        print("partial", flush=True)
        print("Traceback: out of memory", file=sys.stderr)
        return 1
    if mode == "bad-json":
        write_output(args, '{"text": "cut off", "segments": [')
        return 0
    if mode == "flood":
        # Far more than a pipe holds, on both pipes, interleaved: a parent that
        # reads only one of them (or neither) until exit deadlocks here.
        line = "x" * 1023 + "\n"
        for _ in range(2048):
            sys.stdout.write(line)
            sys.stderr.write(line)
        sys.stdout.flush()
        sys.stderr.flush()
        write_output(args, TRANSCRIPT)
        return 0
    if mode == "ignore-term":
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
    if mode == "sleep-with-child":
        child = subprocess.Popen(["sleep", "60"])
        with open(beside("child-pid"), "w") as f:
            f.write(str(child.pid))
        with open(beside("ready"), "w") as f:
            f.write("1")
        child.wait()
        finished()
        return 0
    if mode in ("sleep", "ignore-term"):
        with open(beside("ready"), "w") as f:
            f.write("1")
        time.sleep(60)
        finished()
        return 0
    print("unknown mode " + mode, file=sys.stderr)
    return 2


sys.exit(main())
