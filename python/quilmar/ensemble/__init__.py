"""Monte Carlo ensembles of quilmar_v3 runs on Dask distributed.

    import quilmar.ensemble
    ds = quilmar.ensemble.run("chain.toml", "out/")        # a LocalCluster, one worker per core
    ds = quilmar.ensemble.run(spec, "out/", client=client)  # an existing distributed.Client

The spec (TOML) names a base deck, the uncertain inputs and their distributions, the
scenarios (remediation options that share the sampled values) and the outputs; see
docs/ensembles.md. Results: out/ensemble.nc, out/summary.csv, out/sensitivity.csv and figures.
"""
from .driver import failures, run, same_values
from .spec import SpecError, read_spec
from .store import OutputFolderError

__all__ = ["run", "read_spec", "SpecError", "OutputFolderError", "failures", "same_values"]
