# Tests of tools/plot_run.py. They need Debian's python3-matplotlib, python3-numpy and
# python3-pytest; say so plainly instead of failing on an import deep in a test module.
import pytest

try:
    import matplotlib  # noqa: F401
    import numpy  # noqa: F401
except ImportError as missing:
    pytest.exit(f"the plot tool tests need matplotlib and numpy for this Python "
                f"(Debian: apt-get install python3-matplotlib python3-numpy): {missing}",
                returncode=1)
