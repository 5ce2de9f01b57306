"""python3 -m quilmar: the command line (see quilmar.cli)."""
import sys

from .cli import main

sys.exit(main())
