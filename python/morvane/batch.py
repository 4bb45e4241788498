"""One pipeline over many files, on this machine or on a Dask cluster.

    import morvane
    results = morvane.batch(["a.txt", "b.txt"], ["level:2Dim:1", "median"], "out")
    # [{"input": "a.txt", "output": "out/a.txt"}, {"input": "b.txt", "error": "..."}]

Every input is written as OUT_DIR/NAME<ext> exactly as ``morvane-cli process IN...
--out-dir OUT_DIR`` writes it (channel 1, the operations with their history, the writer
of the extension); an output that exists already is never overwritten, and a file that
fails never stops the others.

With ``client`` (a ``dask.distributed.Client``) every file is one task on the cluster's
workers: only file names and operation texts travel, the workers read and write the files
themselves, so inputs and the output folder must lie on a file system every worker sees
under the same path, and every worker must be able to import morvane.

From a shell:

    python3 -m morvane.batch [--scheduler tcp://HOST:8786] --out-dir DIR
                             [--op OP ...] [--ops-from FILE] [--ext E] [--data int|sin] FILES...
"""

import argparse
import os
import sys
import types

from . import _morvane, _op_bytes

__all__ = ["batch", "ops_from", "main"]

EXTENSIONS = (".txt", ".dat", ".bmp", ".jpg", ".stl")


def _path_text(path):
    return os.fsdecode(os.fspath(path))


def ops_from(path):
    """The operations of a parameter file's processing history, or of a text file with
    one operation a line, as ``morvane-cli process --ops-from`` reads them."""
    path = os.fspath(path)
    with open(path, "rb"):  # an unreadable file raises OSError here, with its reason
        pass
    return [op.decode("utf-8", "surrogateescape") for op in _morvane._read_ops(path)]


def _run_file(path, after, out_dir, ops, ext, data):
    """One file, on whichever process runs it (a cluster worker imports morvane for it).
    after: the result of the file that writes the same output before this one."""
    out, error = _morvane._batch_file(path, out_dir, ops, ext, data)
    return os.fsdecode(out), error


def _check(files, ops, out_dir, ext, data):
    if isinstance(files, (str, bytes, os.PathLike)):
        raise TypeError("files must be a list of paths, not one path")
    if isinstance(ops, (str, bytes)):
        ops = [ops]
    ops = [_op_bytes(op) for op in ops]
    if not ops:
        raise ValueError("batch needs at least one operation")
    if ext not in EXTENSIONS:
        raise ValueError("ext must be one of %s, not %r" % (", ".join(EXTENSIONS), ext))
    if data not in ("int", "sin"):
        raise ValueError("data must be \"int\" or \"sin\", not %r" % (data,))
    if not os.path.isdir(out_dir):
        raise NotADirectoryError("out_dir %s is no directory" % _path_text(out_dir))
    _morvane._check_ops(ops)  # every text is read before any file runs
    return [os.fspath(f) for f in files], ops, os.fspath(out_dir)


def _result(path, out, error):
    path = _path_text(path)
    return {"input": path, "error": error} if error is not None else {"input": path, "output": out}


def _reporter(progress, total):
    """The function told of every finished file (done count, its result), or None."""
    if callable(progress):
        return lambda done, result, name: progress(done, total, result)
    if not progress:
        return None

    # on a terminal the line first clears what the progress bar drew on it
    clear = "\r\x1b[K" if sys.stdout.isatty() else ""

    def report(done, result, name):
        line = "[%d/%d] %s -> %s %s" % (done, total, result["input"], name,
                                        "FAILED" if "error" in result else "ok")
        if "error" in result:
            for text in result["error"].splitlines():
                print("%smorvane.batch: %s: %s" % (clear, result["input"], text), file=sys.stderr, flush=True)
        print(clear + line, flush=True)
    return report


def batch(files, ops, out_dir, ext=".txt", data="int", client=None, progress=None, report=False):
    """Runs the operation texts ops (as ``morvane-cli process --op`` takes them; see
    ops_from() for an ``--ops-from`` file) on every file and writes OUT_DIR/NAME<ext>.

    Returns one dict per input, in input order: {"input": path, "output": path} or
    {"input": path, "error": message}. ext: .txt (native), .dat, .bmp, .jpg or .stl;
    data: the data file of native output, "int" or "sin".

    client: a dask.distributed.Client whose workers run one task per file (they must see
    the files under the same paths and import morvane); None runs the files here, one
    after the other.
    progress: a line per finished file with the count done and the total ("[3/12] IN ->
    OUT ok") on standard output, failures' messages on standard error, and on a cluster
    Dask's progress bar on a terminal (or its widget in a notebook); None: on a cluster
    only. A callable is called as progress(done, total, result) instead.
    report: also write OUT_DIR/report.html (thumbnails, figures, operations, failures) as
    ``morvane-cli process --report`` does; runs without a client only.
    """
    files, ops, out_dir = _check(files, ops, out_dir, ext, data)
    if report and client is not None:
        raise ValueError("batch: report=True runs without a client (the files' rows are made in this process)")
    names = [os.fsdecode(_morvane._batch_output_name(f, out_dir, ext)) for f in files]
    page = _morvane._Report(out_dir) if report else None
    report = _reporter(client is not None if progress is None else progress, len(files))
    if client is None:
        results = []
        for i, (f, name) in enumerate(zip(files, names)):
            _, error = _morvane._batch_file(f, out_dir, ops, ext, data, page, i)
            results.append(_result(f, name, error))
            if report:
                report(len(results), results[-1], name)
        if page is not None:
            page.finish([os.fsdecode(f) for f in files], names)
        return results
    return _on_cluster(client, files, names, ops, out_dir, ext, data, report)


def _on_cluster(client, files, names, ops, out_dir, ext, data, report):
    from distributed import as_completed  # only a cluster needs Dask

    # An input whose output another input writes too waits for that one, so that it finds
    # the output there as one file after the other would: the n-th input of an output name
    # goes into the n-th round of tasks, depending on its predecessor in the round before.
    # Each round is handed to the scheduler at once.
    rounds, before, count, last = [], {}, {}, {}
    for i, name in enumerate(names):
        n = count.get(name, 0)
        count[name] = n + 1
        if n == len(rounds):
            rounds.append([])
        rounds[n].append(i)
        if n:
            before[i] = last[name]
        last[name] = i
    futures = [None] * len(files)
    for n, members in enumerate(rounds):
        # the workers start elsewhere: they are given absolute paths
        paths = [os.path.abspath(files[i]) for i in members]
        after = [futures[before[i]] if n else None for i in members]
        for i, fut in zip(members, client.map(_run_file, paths, after, out_dir=os.path.abspath(out_dir),
                                              ops=ops, ext=ext, data=data, pure=False)):
            futures[i] = fut
    index = {fut.key: i for i, fut in enumerate(futures)}
    results = [None] * len(files)
    bar = _terminal_bar(futures) if report else None
    try:
        for done, fut in enumerate(as_completed(futures), 1):
            i = index[fut.key]
            try:
                _, error = fut.result()
            except Exception as e:  # the worker failed, not the file: still only this file
                error = "%s: %s" % (type(e).__name__, e)
            results[i] = _result(files[i], names[i], error)
            if report:
                report(done, results[i], names[i])
    finally:
        if bar is not None:
            bar.join(timeout=5)
    return results


def _terminal_bar(futures):
    """The client's own progress bar, on standard error when that is a terminal or in a
    notebook; the per-file lines go on meanwhile. None where there is none to show."""
    try:
        from distributed.utils import is_kernel
        if is_kernel():
            from distributed import progress
            progress(futures, notebook=True)
            return None
        if not sys.stderr.isatty():
            return None
        import threading
        from distributed.diagnostics.progressbar import TextProgressBar

        class _Bar(TextProgressBar):
            def _draw_bar(self, remaining, all, **kwargs):  # noqa: A002 (the base's name)
                frac = (1 - remaining / all) if all else 1.0
                sys.stderr.write("\r[%-40s] | %d%% Completed | %.1f s\x1b[K" % (
                    "#" * int(40 * frac), int(100 * frac), self.elapsed))
                sys.stderr.flush()

            def _draw_stop(self, **kwargs):
                sys.stderr.write("\n")
                sys.stderr.flush()

        thread = threading.Thread(target=_Bar, args=(futures,), daemon=True)
        thread.start()
        return thread
    except Exception:  # a display is no reason to fail the batch
        return None


# ---------------------------------------------------------------- python3 -m morvane.batch

def _parser():
    p = argparse.ArgumentParser(
        prog="python3 -m morvane.batch",
        description="Writes every input as DIR/NAME<ext> as morvane-cli process --out-dir does, "
                    "on a Dask cluster with --scheduler, else here.")
    p.add_argument("files", nargs="+", metavar="FILES", help="input files")
    p.add_argument("--scheduler", metavar="ADDRESS", help="the Dask scheduler, e.g. tcp://HOST:8786")
    p.add_argument("--out-dir", required=True, metavar="DIR", help="folder of the outputs")
    p.add_argument("--op", action="append", default=[], metavar="OP", help="operation, in the order given")
    p.add_argument("--ops-from", metavar="FILE",
                   help="the processing history of a saved parameter file, or operations one a line (run first)")
    p.add_argument("--ext", default=".txt", choices=EXTENSIONS, help="the output type")
    p.add_argument("--data", default="int", choices=("int", "sin"), help="data file of a native output")
    return p


def main(argv=None):
    p = _parser()
    a = p.parse_args(argv)  # exits 2 for a usage error
    ops = list(a.op)
    if a.ops_from is not None:
        try:
            ops = ops_from(a.ops_from) + ops
        except OSError as e:
            p.error("--ops-from: %s cannot be read (%s)" % (a.ops_from, e.strerror or e))
        except _morvane.Error as e:
            p.error("--ops-from: %s" % e)
    if not ops:
        p.error("--op or --ops-from is needed")
    client = None
    if a.scheduler:
        try:
            from distributed import Client
        except ImportError:
            p.error("--scheduler needs Dask's distributed scheduler (Debian package python3-distributed)")
    # the copy of this module a cluster's workers import too (not __main__)
    from morvane.batch import batch as run
    try:
        files, _, out_dir = _check(a.files, ops, a.out_dir, a.ext, a.data)
    except (ValueError, OSError, _morvane.Error) as e:
        p.error(str(e))
    if a.scheduler:
        try:
            client = Client(a.scheduler, timeout="20s")
        except OSError as e:
            print("morvane.batch: cannot reach the scheduler %s: %s" % (a.scheduler, e), file=sys.stderr)
            return 1
    try:
        results = run(files, ops, out_dir, ext=a.ext, data=a.data, client=client, progress=True)
    finally:
        if client is not None:
            client.close()
    failed = sum(1 for r in results if "error" in r)
    print("%d of %d files written" % (len(results) - failed, len(results)))
    if failed:
        print("morvane.batch: %d of %d files failed" % (failed, len(results)), file=sys.stderr)
    return 1 if failed else 0


# morvane.batch(...) calls batch(): the module itself is callable, so that the function
# and this module (with its shell entry) share the name
class _CallableModule(types.ModuleType):
    def __call__(self, *args, **kwargs):
        return batch(*args, **kwargs)


_CallableModule.__call__.__doc__ = batch.__doc__
sys.modules[__name__].__class__ = _CallableModule

if __name__ == "__main__":
    sys.exit(main())
