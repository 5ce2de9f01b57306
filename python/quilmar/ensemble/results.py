"""The ensemble's results from the saved records of its realisations: the NetCDF dataset
(ensemble.nc), the percentile table (summary.csv) and the rank correlations of the sampled
inputs with the peak well concentration and the final matrix mass (sensitivity.csv).

Failed realisations hold NaN in every series and are left out of percentiles,
exceedance fractions and correlations; their exit status and message stay in `status` and
`message`. Nothing here depends on the order in which realisations finished, so a resumed
ensemble gives the same files as an uninterrupted one.
"""
import warnings

import numpy as np
import pandas as pd
import xarray as xr

PERCENTILES = (5, 25, 50, 75, 95)
COMPONENTS = np.arange(1, 5, dtype=np.int32)


def _time_axis(plan, records):
    """The step times as the result files give them (from the first successful
    realisation), or nt steps of dt when none succeeded."""
    for rec in records:
        if rec["status"] == 0:
            return np.asarray(rec["time"], dtype=float)
    return plan.deck.dt * np.arange(1, max(plan.deck.nt, 0) + 1)


def assemble(plan, samples, records):
    """xarray Dataset of the ensemble; records[s][r] is realisation r of scenario s."""
    flat = [rec for row in records for rec in row]
    time = _time_axis(plan, flat)
    nscen, nreal, nt = len(plan.scenarios), plan.realisations, len(time)
    npl = len(plan.control_planes)
    well = np.full((nscen, nreal, nt, 4), np.nan)
    discharge = np.full((nscen, nreal, nt, npl, 4), np.nan)
    aquifer = np.full((nscen, nreal, nt, 4), np.nan)
    matrix = np.full((nscen, nreal, nt, 4), np.nan)
    status = np.zeros((nscen, nreal), dtype=np.int32)
    message = np.empty((nscen, nreal), dtype=object)
    for s, row in enumerate(records):
        for r, rec in enumerate(row):
            status[s, r], message[s, r] = rec["status"], rec["message"]
            if rec["status"] != 0:
                continue
            if len(rec["time"]) != nt:
                status[s, r] = 3
                message[s, r] = (f"{len(rec['time'])} steps in the result files, the "
                                 f"ensemble has {nt}")
                continue
            well[s, r], discharge[s, r] = rec["well"], rec["discharge"]
            aquifer[s, r], matrix[s, r] = rec["aquifer_mass"], rec["matrix_mass"]
    dims4 = ("scenario", "realisation", "time", "component")
    ds = xr.Dataset(
        {
            "samples": (("realisation", "parameter"), samples),
            "status": (("scenario", "realisation"), status),
            "message": (("scenario", "realisation"), message.astype(str)),
            "well": (dims4, well),
            "discharge": (("scenario", "realisation", "time", "plane", "component"), discharge),
            "aquifer_mass": (dims4, aquifer),
            "matrix_mass": (dims4, matrix),
        },
        coords={
            "scenario": list(plan.scenarios),
            "realisation": np.arange(nreal, dtype=np.int32),
            "parameter": [p.name for p in plan.parameters],
            "time": time, "plane": np.asarray(plan.control_planes, dtype=float),
            "component": COMPONENTS,
        },
        attrs={"deck": plan.deck_path, "title": plan.deck.title.strip(),
               "sampling": plan.sampling, "seed": plan.seed,
               "distributions": "; ".join(f"{p.name}: {p.dist.describe()}"
                                          for p in plan.parameters),
               "fingerprint": plan.fingerprint()})
    ds["exceedance"] = exceedance(ds, plan.limits)
    _describe(ds)
    return ds


def exceedance(ds, limits):
    """Fraction of the successful realisations whose well concentration is above the
    component's limit, by scenario, time and component (NaN without limits)."""
    ok = ds["status"] == 0
    n = ok.sum("realisation")
    if limits is None:
        limit = xr.DataArray(np.full(4, np.nan), dims="component")
    else:
        limit = xr.DataArray(np.asarray(limits, dtype=float), dims="component")
    above = (ds["well"] > limit).where(ok).sum("realisation")
    frac = (above / n).where((n > 0) & limit.notnull())
    return frac.transpose("scenario", "time", "component")


def _describe(ds):
    units = {"well": "g/m3", "discharge": "g/yr", "aquifer_mass": "g", "matrix_mass": "g"}
    text = {
        "samples": "sampled value of each input, the same in every scenario",
        "status": "exit status of the program (3: results unreadable, 4: worker lost, "
                  "5: program not started, 128 + N: stopped on signal N)",
        "message": "the program's report of a failed realisation",
        "well": "concentration at the observation well",
        "discharge": "mass discharge through the whole plume cross-section at the plane",
        "aquifer_mass": "mass in the aquifer (dissolved and sorbed)",
        "matrix_mass": "mass in the low-permeability matrix (dissolved and sorbed)",
        "exceedance": "fraction of successful realisations above the limit at the well",
    }
    for name, t in text.items():
        ds[name].attrs["long_name"] = t
        if name in units:
            ds[name].attrs["units"] = f"{units[name]} (in the deck's units)"


def summary(ds):
    """The 5/25/50/75/95 % values of the well concentration and of the discharge at
    each plane, by scenario, time and component, over the successful realisations."""
    rows = []

    def add(quantity, plane, arr):
        # arr: (scenario, realisation, time, component)
        with warnings.catch_warnings():
            # a scenario and time without one successful realisation has no percentiles
            warnings.simplefilter("ignore", RuntimeWarning)
            q = np.nanpercentile(arr, PERCENTILES, axis=1)
        n = np.isfinite(arr).sum(axis=1)
        for s, scen in enumerate(ds.scenario.values):
            for c, comp in enumerate(ds.component.values):
                frame = pd.DataFrame({"scenario": scen, "quantity": quantity,
                                      "plane": plane, "component": int(comp),
                                      "time": ds.time.values,
                                      "n": n[s, :, c]})
                for k, p in enumerate(PERCENTILES):
                    frame[f"p{p}"] = q[k, s, :, c]
                rows.append(frame)

    add("well", np.nan, ds["well"].values)
    for i, x in enumerate(ds.plane.values):
        add("discharge", float(x), ds["discharge"].values[:, :, :, i, :])
    return pd.concat(rows, ignore_index=True)


def _ranks(a):
    return pd.Series(a).rank().to_numpy()


def _spearman(x, y):
    ok = np.isfinite(x) & np.isfinite(y)
    if ok.sum() < 3:
        return np.nan
    rx, ry = _ranks(x[ok]), _ranks(y[ok])
    if rx.std() == 0.0 or ry.std() == 0.0:
        return np.nan
    return float(np.corrcoef(rx, ry)[0, 1])


def sensitivity(ds):
    """Spearman rank correlation of each sampled input with the peak well concentration
    and the final matrix mass of each component, per scenario."""
    rows = []
    samples = ds["samples"].values
    peak = ds["well"].max("time", skipna=True).values              # scenario, real, comp
    final = ds["matrix_mass"].isel(time=-1).values if ds.sizes["time"] else \
        np.full(peak.shape, np.nan)
    for s, scen in enumerate(ds.scenario.values):
        for j, name in enumerate(ds.parameter.values):
            for c, comp in enumerate(ds.component.values):
                for target, values in (("peak_well", peak), ("final_matrix_mass", final)):
                    rows.append({"scenario": scen, "parameter": name, "target": target,
                                 "component": int(comp),
                                 "rank_correlation": _spearman(samples[:, j], values[s, :, c])})
    return pd.DataFrame(rows, columns=["scenario", "parameter", "target", "component",
                                       "rank_correlation"])
