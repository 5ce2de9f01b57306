"""What a validation case hands back: compared values, tables and figures for the report."""
import csv
import math

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

COLUMNS = ["case", "quantity", "where", "model", "exact", "ratio"]


class Case:
    def __init__(self, name, title):
        self.name, self.title = name, title
        self.rows = []          # compared values, one row of results.csv each
        self.text = []          # markdown paragraphs and tables, in order
        self.figures = []       # (file name, figure)
        self.summary = {}       # figures the tests and the user table read

    def compare(self, quantity, where, model, exact):
        ratio = model / exact if exact != 0 else math.nan
        self.rows.append([self.name, quantity, where, float(model), float(exact), ratio])
        return ratio

    def add(self, paragraph):
        self.text.append(paragraph.strip("\n"))

    def table(self, header, rows):
        lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
        lines += ["| " + " | ".join(str(c) for c in row) + " |" for row in rows]
        self.add("\n".join(lines))

    def figure(self, stem, width=6.4, height=4.0, ncols=1):
        fig, axes = plt.subplots(1, ncols, figsize=(width, height), squeeze=False)
        self.figures.append((f"{self.name}_{stem}.png", fig))
        return axes[0] if ncols > 1 else axes[0][0]


def pct(value, digits=2):
    return f"{100 * value:.{digits}f} %"


def write_csv(path, cases):
    with open(path, "w", newline="") as handle:
        out = csv.writer(handle, lineterminator="\n")
        out.writerow(COLUMNS)
        for case in cases:
            for row in case.rows:
                out.writerow(row[:3] + [f"{v:.6g}" for v in row[3:]])


def read_csv(path):
    with open(path) as handle:
        return list(csv.DictReader(handle))
