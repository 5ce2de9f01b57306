"""The output folder of an ensemble, and resuming: every finished realisation is saved at
once as a small file of its own (parts/s<scenario>/r<realisation>.npz, written to a
temporary name and renamed, so a stop never leaves half a record), and a new start with the
same folder runs only the realisations that have no record yet.

ensemble.json holds the fingerprint of the plan that filled the folder; a folder filled by
another plan (other inputs, seed, scenarios, deck values or control planes) is refused
rather than mixed or overwritten. A folder that is not empty and holds no ensemble is
refused too, so that no file of someone else's is overwritten.
"""
import json
import os
import re

import numpy as np

MANIFEST = "ensemble.json"
PARTS = "parts"
FIELDS = ("time", "well", "discharge", "aquifer_mass", "matrix_mass")


class OutputFolderError(Exception):
    """An output folder that cannot take this ensemble; the message names it."""


def scenario_dir(index, name):
    """A folder name for a scenario: its position and its name in safe characters."""
    return f"s{index}_" + re.sub(r"[^A-Za-z0-9_.-]+", "_", name)[:40]


def _atomic(path, write):
    tmp = f"{path}.tmp{os.getpid()}"
    try:
        write(tmp)
        os.replace(tmp, path)
    finally:
        if os.path.exists(tmp):
            os.remove(tmp)


class Store:
    def __init__(self, out, plan):
        self.out = os.path.abspath(out)
        self.nscen = len(plan.scenarios)
        self.nreal = plan.realisations
        if os.path.exists(self.out) and not os.path.isdir(self.out):
            raise OutputFolderError(f"{self.out} is a file, not a folder; give a new or empty "
                                    f"folder")
        manifest = os.path.join(self.out, MANIFEST)
        doc = {"fingerprint": plan.fingerprint(), "plan": plan.path,
               "scenarios": list(plan.scenarios), "realisations": plan.realisations,
               "parameters": [p.name for p in plan.parameters]}
        if os.path.isfile(manifest):
            try:
                with open(manifest, encoding="utf-8") as f:
                    old = json.load(f)
            except (OSError, ValueError) as e:
                raise OutputFolderError(f"{manifest}: unreadable ({e}); give another "
                                        f"--out") from None
            if old.get("fingerprint") != doc["fingerprint"]:
                raise OutputFolderError(
                    f"{self.out} holds an ensemble of another plan ({old.get('plan')}: its "
                    f"inputs, scenarios, seed, deck or control planes differ); give another "
                    f"--out, or remove the folder to start afresh")
        elif os.path.isdir(self.out) and os.listdir(self.out):
            raise OutputFolderError(f"{self.out} is not empty and holds no ensemble "
                                    f"({MANIFEST}); give an empty or new folder")
        os.makedirs(os.path.join(self.out, PARTS), exist_ok=True)
        _atomic(manifest, lambda p: self._write_json(p, doc))

    @staticmethod
    def _write_json(path, doc):
        with open(path, "w", encoding="utf-8") as f:
            json.dump(doc, f, indent=1)
            f.write("\n")

    def path(self, name):
        return os.path.join(self.out, name)

    def _part(self, s, r):
        return os.path.join(self.out, PARTS, f"s{s}", f"r{r:05d}.npz")

    def save(self, record):
        """Saves a finished realisation's record and returns it as load() would read it back
        (float arrays, an int status, a str message), so that the caller may keep it."""
        s, r = record["scenario"], record["realisation"]
        path = self._part(s, r)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        arrays = {k: np.asarray(record[k], dtype=float) for k in FIELDS}
        status, message = np.int64(record["status"]), np.str_(record["message"])

        def write(tmp):
            with open(tmp, "wb") as f:
                np.savez(f, status=status, message=message, **arrays)
        _atomic(path, write)
        return dict(arrays, status=int(status), message=str(message), scenario=s,
                    realisation=r)

    def load(self, s, r):
        """The saved record of realisation r of scenario s, or None (also for a file that
        cannot be read: it is run again)."""
        path = self._part(s, r)
        if not os.path.isfile(path):
            return None
        try:
            with np.load(path, allow_pickle=False) as z:
                record = {k: z[k] for k in FIELDS}
                record["status"] = int(z["status"])
                record["message"] = str(z["message"])
        except (OSError, ValueError, KeyError):
            return None
        record["scenario"], record["realisation"] = s, r
        return record

    def missing(self, again=()):
        """(scenario, realisation) of every realisation without a saved record, or whose
        record has one of the statuses `again` (a fault of the worker, not of the run)."""
        todo = []
        for s in range(self.nscen):
            for r in range(self.nreal):
                record = self.load(s, r)
                if record is None or record["status"] in again:
                    todo.append((s, r))
        return todo

    def write_file(self, name, write):
        """Writes DIR/name through `write(path)` to a temporary name, then renames it."""
        _atomic(self.path(name), write)
