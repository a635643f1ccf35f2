"""Converts a whole folder tree of recordings on a Dask cluster.

    python -m orvkt.batch SRC_DIR DST_DIR --to wav|dss|ds2 [--rate HZ] [--scheduler ADDRESS]

Every recording under SRC_DIR (.dss, .ds2, .wav, .mp3, .wma) becomes one task
that converts it into the same relative path under DST_DIR with the new
extension. Without ``--scheduler`` a LocalCluster of worker processes runs on
this machine; with it, the tasks go to that cluster's workers, which need this
package, the library and the same view of SRC_DIR and DST_DIR.

DST_DIR receives a manifest, ``orvkt-manifest.jsonl`` (one JSON object per
line, appended as results arrive) and ``orvkt-manifest.csv`` (rewritten at the
end): source and destination (relative to their folders), the result code
(0 success, the library's code, or -1 for a failure outside the library),
its message, the recording's duration in seconds, the seconds the task
took, the worker, and the source's size and modification time. A second run
skips every source that converted successfully and has not changed since;
failed ones are tried again unless ``--skip-failed`` is given. A failing
file never stops the batch; the exit status is 1 when any file failed. Of
two sources that would make one destination (memo.dss and memo.wav with
``--to wav``) the first in sorted order is converted, the other refused.
"""

from __future__ import annotations

import argparse
import csv
import json
import os
import shutil
import sys
import tempfile
import time
import uuid
from dataclasses import asdict, dataclass, fields
from pathlib import Path
from typing import Any, Iterator, Optional, Union

from .audio import convert, duration, kind_of, read_format, wanted_format
from .errors import Error, FormatError
from .files import is_encrypted, mix_stereo

SOURCE_KINDS = ("dss", "ds2", "wav", "mp3", "wma")
MANIFEST_JSONL = "orvkt-manifest.jsonl"
MANIFEST_CSV = "orvkt-manifest.csv"
#: Result code of a failure outside the library (a Python exception, a lost worker).
OTHER_FAILURE = -1


@dataclass
class Row:
    """One line of the manifest."""

    source: str  # relative to SRC_DIR
    destination: str  # relative to DST_DIR
    code: int
    message: str
    duration: Optional[float]  # recording length in seconds
    seconds: float  # wall-clock seconds the task took
    worker: str
    source_size: int
    source_mtime_ns: int


@dataclass(frozen=True)
class Task:
    """What one worker needs to convert one file."""

    source: str
    destination: str
    relative_source: str
    relative_destination: str
    to: str
    format: Optional[str]
    rate: Optional[int]
    password: Optional[str]
    source_size: int
    source_mtime_ns: int


@dataclass
class Summary:
    """The outcome of a batch: counts, and the wall-clock seconds of the conversions."""

    total: int = 0
    converted: int = 0
    skipped: int = 0
    failed: int = 0
    seconds: float = 0.0

    @property
    def files_per_second(self) -> float:
        done = self.converted + self.failed
        return done / self.seconds if self.seconds > 0 else 0.0


def _worker_name() -> str:
    try:
        from distributed import get_worker

        return str(get_worker().address)
    except Exception:
        return "local"


def _convert_through_wav(task: Task) -> None:
    # MP3 and WMA recordings go into DSS/DS2 files by way of a WAV file.
    folder = os.path.dirname(task.destination)
    with tempfile.TemporaryDirectory(prefix=".orvkt-", dir=folder) as scratch:
        wav = os.path.join(scratch, "decoded.wav")
        convert(task.source, wav, "pcm16")
        convert(wav, task.destination, task.format)


def convert_task(task: Task) -> Row:
    """Converts one file (run on a worker). Never raises: a failure becomes the row's code."""
    start = time.perf_counter()
    code, message, length = 0, "success", None
    try:
        os.makedirs(os.path.dirname(task.destination) or ".", exist_ok=True)
        src_kind = kind_of(task.source)
        if src_kind in ("mp3", "wma") and task.to != "wav":
            _convert_through_wav(task)
        else:
            wanted = wanted_format(task.source, task.destination, task.format, task.rate)
            if src_kind == task.to and read_format(task.source) == wanted:
                # Already in the wanted format: the library refuses to convert
                # a file into its own format, so it is copied as it is.
                shutil.copyfile(task.source, task.destination)
                message = "copied: already in the wanted format"
            else:
                # The library refuses a password for a plain recording (44).
                password = task.password if src_kind in ("dss", "ds2") and is_encrypted(task.source) else None
                try:
                    convert(task.source, task.destination, wanted, password=password)
                except FormatError as e:
                    # A 16-bit stereo WAV file whose mix already has the wanted
                    # format: the conversion mixes it and finds nothing left
                    # to do (23), so the mix alone is the result.
                    if e.code != 23 or src_kind != "wav":
                        raise
                    mix_stereo(task.source, task.destination)
        length = duration(task.destination)
    except Error as e:
        code, message = e.code, e.message
    except Exception as e:  # a failing file must never stop the batch
        code, message = OTHER_FAILURE, f"{type(e).__name__}: {e}"
    if code != 0:
        # A partial destination (the library keeps what it had packed) would
        # look like a result; the source is untouched, so nothing is lost.
        try:
            os.remove(task.destination)
        except OSError:
            pass
    return Row(task.relative_source, task.relative_destination, code, message, length,
               round(time.perf_counter() - start, 3), _worker_name(), task.source_size, task.source_mtime_ns)


def find_sources(src_dir: Path, skip: Optional[Path] = None) -> Iterator[Path]:
    """The recordings under ``src_dir`` in sorted order (``skip``: a folder left out)."""
    for root, dirs, files in os.walk(src_dir):
        here = Path(root)
        dirs[:] = sorted(d for d in dirs if skip is None or (here / d).resolve() != skip)
        for name in sorted(files):
            if kind_of(name) in SOURCE_KINDS:
                yield here / name


def read_manifest(dst_dir: Path) -> dict[str, Row]:
    """The last row of every source in a manifest (empty when there is none)."""
    rows: dict[str, Row] = {}
    path = dst_dir / MANIFEST_JSONL
    if not path.exists():
        return rows
    names = {f.name for f in fields(Row)}
    with open(path, encoding="utf-8") as f:
        for line in f:
            try:
                data = json.loads(line)
                row = Row(**{k: v for k, v in data.items() if k in names})
            except (ValueError, TypeError):
                continue  # a line cut short by an interrupted run
            rows[row.source] = row
    return rows


def write_manifest(dst_dir: Path, rows: dict[str, Row]) -> None:
    """Rewrites both manifest files with one row per source, sorted by source."""
    ordered = [rows[k] for k in sorted(rows)]
    names = [f.name for f in fields(Row)]
    for name, write in ((MANIFEST_JSONL, _write_jsonl), (MANIFEST_CSV, _write_csv)):
        temporary = dst_dir / (name + ".tmp")
        with open(temporary, "w", encoding="utf-8", newline="") as f:
            write(f, ordered, names)
        os.replace(temporary, dst_dir / name)


def _write_jsonl(f: Any, rows: list[Row], names: list[str]) -> None:
    for row in rows:
        f.write(json.dumps(asdict(row), ensure_ascii=False) + "\n")


def _write_csv(f: Any, rows: list[Row], names: list[str]) -> None:
    writer = csv.DictWriter(f, fieldnames=names)
    writer.writeheader()
    for row in rows:
        writer.writerow(asdict(row))


@dataclass
class Plan:
    """What a batch will do: its tasks, the manifest's rows so far, the sources
    skipped as done, and rows for sources refused before any work."""

    tasks: list[Task]
    rows: dict[str, Row]
    skipped: int
    refused: list[Row]


def plan(src_dir: Path, dst_dir: Path, to: str, *, format: Optional[str] = None, rate: Optional[int] = None,
         password: Optional[str] = None, retry_failed: bool = True) -> Plan:
    """The work of a batch: every source not skipped as done becomes a task."""
    out = Plan([], read_manifest(dst_dir), 0, [])
    claimed: dict[str, str] = {}
    for source in find_sources(src_dir, dst_dir.resolve()):
        rel = source.relative_to(src_dir)
        rel_dst = rel.with_suffix("." + to)
        st = source.stat()
        if rel_dst.as_posix() in claimed:
            # memo.dss and memo.wav would both become memo.wav: the first in
            # sorted order has it.
            out.refused.append(Row(rel.as_posix(), rel_dst.as_posix(), OTHER_FAILURE,
                                   f"destination is made from {claimed[rel_dst.as_posix()]}", None, 0.0, "",
                                   st.st_size, st.st_mtime_ns))
            continue
        claimed[rel_dst.as_posix()] = rel.as_posix()
        previous = out.rows.get(rel.as_posix())
        if previous is not None and previous.source_size == st.st_size \
                and previous.source_mtime_ns == st.st_mtime_ns \
                and (previous.code != 0 or (dst_dir / previous.destination).exists()) \
                and (previous.code == 0 or not retry_failed):
            out.skipped += 1
            continue
        out.tasks.append(Task(str(source), str(dst_dir / rel_dst), rel.as_posix(), rel_dst.as_posix(), to, format,
                              rate, password, st.st_size, st.st_mtime_ns))
    return out


class _Bar:
    """Files done, failures and files/s: tqdm when installed, else one line on stderr."""

    def __init__(self, total: int, enabled: bool) -> None:
        self.total, self.done, self.failed = total, 0, 0
        self.start = time.perf_counter()
        self.enabled = enabled
        self.tqdm = None
        if enabled:
            try:
                from tqdm import tqdm

                self.tqdm = tqdm(total=total, unit="file", dynamic_ncols=True, file=sys.stderr)
            except ImportError:
                pass

    def update(self, failed: bool) -> None:
        self.done += 1
        self.failed += int(failed)
        if not self.enabled:
            return
        if self.tqdm is not None:
            self.tqdm.set_postfix(failed=self.failed, refresh=False)
            self.tqdm.update(1)
            return
        rate = self.done / max(time.perf_counter() - self.start, 1e-9)
        sys.stderr.write(f"\r{self.done}/{self.total} files, {self.failed} failed, {rate:.2f} files/s")
        sys.stderr.flush()

    def close(self) -> None:
        if self.tqdm is not None:
            self.tqdm.close()
        elif self.enabled and self.total:
            sys.stderr.write("\n")


def run_batch(src_dir: Union[str, os.PathLike], dst_dir: Union[str, os.PathLike], to: str, *,
              format: Optional[str] = None, rate: Optional[int] = None, password: Optional[str] = None,
              scheduler: Optional[str] = None, workers: Optional[int] = None, client: Any = None,
              retry_failed: bool = True, show_progress: bool = True) -> Summary:
    """Converts every recording under ``src_dir`` into ``dst_dir`` (see the module's text).

    ``to`` is "wav", "dss" or "ds2"; ``format`` and ``rate`` (Hz) as for
    :func:`orvkt.convert`. The cluster is ``client`` when given, else the one
    at ``scheduler`` (e.g. "tcp://host:8786"), else a LocalCluster of
    ``workers`` processes (default: one per core) with one thread each.
    """
    from distributed import Client, LocalCluster, as_completed

    if to not in ("wav", "dss", "ds2"):
        raise ValueError("to: wav, dss or ds2")
    # Choices that would fail for every file are refused before any work.
    if to != "wav" and format in ("pcm16", "pcm8"):
        raise ValueError("a DSS/DS2 result takes format sp, lp or qp")
    if to == "dss" and format == "qp":
        raise ValueError("quality play needs ds2 results")
    if rate and format in ("sp", "lp", "qp"):
        raise ValueError("rate applies to PCM formats only")
    src, dst = Path(src_dir), Path(dst_dir)
    if not src.is_dir():
        raise ValueError(f"{src}: not a folder")
    dst.mkdir(parents=True, exist_ok=True)
    work = plan(src, dst, to, format=format, rate=rate, password=password, retry_failed=retry_failed)
    tasks, rows = work.tasks, work.rows
    summary = Summary(total=len(tasks) + work.skipped + len(work.refused), skipped=work.skipped,
                      failed=len(work.refused))
    rows.update((row.source, row) for row in work.refused)

    cluster = None
    own_client = client is None
    if own_client:
        if scheduler:
            client = Client(scheduler)
        else:
            cluster = LocalCluster(n_workers=workers or os.cpu_count() or 1, threads_per_worker=1, processes=True,
                                   host="127.0.0.1", dashboard_address=None, silence_logs=40)
            client = Client(cluster)
    bar = _Bar(len(tasks), show_progress)
    journal = open(dst / MANIFEST_JSONL, "a", encoding="utf-8")
    start = time.perf_counter()
    try:
        # A bounded number of tasks in flight keeps the scheduler's memory
        # flat for archives of any size.
        threads = sum(client.nthreads().values()) or 1
        window = max(16, 4 * threads)
        pending = iter(tasks)
        run_id = uuid.uuid4().hex[:12]
        futures = {}

        def submit_next(count: int) -> None:
            for task in pending:
                future = client.submit(convert_task, task, pure=False, key=f"orvkt-{run_id}-{task.relative_source}")
                futures[future] = task
                running.add(future)
                count -= 1
                if count == 0:
                    return

        running = as_completed()
        submit_next(window)
        for future in running:
            task = futures.pop(future)
            try:
                row = future.result()
            except Exception as e:  # the worker died or the task could not run
                row = Row(task.relative_source, task.relative_destination, OTHER_FAILURE,
                          f"{type(e).__name__}: {e}", None, 0.0, "", task.source_size, task.source_mtime_ns)
            rows[row.source] = row
            journal.write(json.dumps(asdict(row), ensure_ascii=False) + "\n")
            journal.flush()
            if row.code == 0:
                summary.converted += 1
            else:
                summary.failed += 1
            bar.update(row.code != 0)
            submit_next(1)
    finally:
        summary.seconds = time.perf_counter() - start
        bar.close()
        journal.close()
        write_manifest(dst, rows)
        if own_client:
            client.close()
            if cluster is not None:
                cluster.close()
    return summary


def _read_password(path: Optional[str]) -> Optional[str]:
    if path is None:
        return None
    with open(path, encoding="utf-8") as f:
        return f.readline().rstrip("\r\n")


def main(argv: Optional[list[str]] = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m orvkt.batch",
                                     description="Convert every recording of a folder tree on a Dask cluster.")
    parser.add_argument("src_dir", help="folder of recordings (.dss .ds2 .wav .mp3 .wma), walked recursively")
    parser.add_argument("dst_dir", help="folder of the results, same relative paths; holds the manifest")
    parser.add_argument("--to", required=True, choices=("wav", "dss", "ds2"), help="kind of the results")
    parser.add_argument("--format", choices=("pcm16", "pcm8", "sp", "lp", "qp"),
                        help="wanted format (default: pcm16 for wav, sp for dss and ds2)")
    parser.add_argument("--rate", type=int, choices=(8000, 11025, 12000, 16000, 22050, 32000, 44100),
                        help="sampling rate in Hz of WAV results (default: the source's)")
    parser.add_argument("--scheduler", help="address of a running Dask scheduler, e.g. tcp://host:8786")
    parser.add_argument("--workers", type=int, help="worker processes of the local cluster (default: cores)")
    parser.add_argument("--password-file", help="first line: the password of encrypted sources")
    parser.add_argument("--skip-failed", action="store_true",
                        help="do not try again sources that failed before and have not changed")
    parser.add_argument("-q", "--quiet", action="store_true", help="no progress bar")
    a = parser.parse_args(argv)
    try:
        summary = run_batch(a.src_dir, a.dst_dir, a.to, format=a.format, rate=a.rate,
                            password=_read_password(a.password_file), scheduler=a.scheduler, workers=a.workers,
                            retry_failed=not a.skip_failed, show_progress=not a.quiet)
    except ValueError as e:
        parser.error(str(e))
    except KeyboardInterrupt:
        print("interrupted; the manifest holds the files finished so far", file=sys.stderr)
        return 130
    print(f"{summary.total} files: {summary.converted} converted, {summary.skipped} skipped, "
          f"{summary.failed} failed; {summary.seconds:.1f} s, {summary.files_per_second:.2f} files/s")
    return 1 if summary.failed else 0


if __name__ == "__main__":
    # Run the module's own copy under its package name: the tasks sent to the
    # workers must name orvkt.batch, not __main__.
    from orvkt.batch import main as package_main

    sys.exit(package_main())
