# Tests of the Python package (python/quilmar) and the tools that run it. They need Debian's
# python3-numpy, python3-pandas, python3-xarray, python3-matplotlib and python3-pytest; say
# so plainly instead of failing on an import deep in a test module.
import os
import sys

import pytest

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(REPO, "python"))

try:
    import matplotlib  # noqa: F401
    import numpy  # noqa: F401
    import pandas  # noqa: F401
    import xarray  # noqa: F401
except ImportError as missing:
    pytest.exit(f"the Python tests need numpy, pandas, xarray and matplotlib for this Python "
                f"(Debian: apt-get install python3-numpy python3-pandas python3-xarray "
                f"python3-matplotlib): {missing}", returncode=1)
