"""Running the simulator on a deck in a folder of its own."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_TREE = os.path.abspath(os.path.join(HERE, "..", ".."))


def find_binary():
    """The simulator: $QUILMAR_BINARY, else build/quilmar_v3 of the source tree this package
    lies in. FileNotFoundError names both when neither is there."""
    path = os.environ.get("QUILMAR_BINARY")
    if path:
        if not os.path.isfile(path):
            raise FileNotFoundError(f"QUILMAR_BINARY={path}: no such file")
        return path
    path = os.path.join(SOURCE_TREE, "build", "quilmar_v3")
    if os.path.isfile(path):
        return path
    raise FileNotFoundError(f"no simulator binary: set QUILMAR_BINARY, or build it into {path}")
