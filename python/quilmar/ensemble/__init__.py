"""Monte Carlo ensembles of quilmar_v3 runs on Dask distributed.

    import quilmar.ensemble
    ds = quilmar.ensemble.run("chain.toml", "out/")        # a LocalCluster, one worker per core
    ds = quilmar.ensemble.run(plan, "out/", client=client)  # an existing distributed.Client

The plan (TOML) names a base deck, the uncertain inputs and their distributions, the
scenarios (remediation options that share the sampled values) and the outputs; see
docs/ensembles.md. Results: out/ensemble.nc, out/summary.csv, out/sensitivity.csv and figures.

The names below are loaded when first used: a worker process imports only the module that
runs realisations, not xarray, scipy or the figures.
"""
import importlib

_LAZY = {"run": "driver", "failures": "driver", "same_values": "driver",
         "read_plan": "plan", "PlanError": "plan", "OutputFolderError": "store"}

__all__ = list(_LAZY)


def __getattr__(name):
    if name in _LAZY:
        return getattr(importlib.import_module(f".{_LAZY[name]}", __name__), name)
    raise AttributeError(f"module 'quilmar.ensemble' has no attribute {name!r}")
