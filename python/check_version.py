"""Checks that the Python package states the project's version (the build
passes it from its project file): python/check_version.py PYTHON_DIR VERSION."""
import pathlib
import re
import sys

root, version = pathlib.Path(sys.argv[1]), sys.argv[2]
wrong = []
for path, pattern in ((root / 'setup.py', r"version='([^']*)'"),
                      (root / 'tarvik' / '__init__.py', r"__version__ = '([^']*)'")):
    found = re.search(pattern, path.read_text())
    if not found or found.group(1) != version:
        wrong.append('%s: %s, the project is %s' % (path, found.group(1) if found else 'no version', version))
print('\n'.join(wrong) or 'the Python package is version ' + version)
sys.exit(1 if wrong else 0)
