"""Installs the package tarvik for development: pip install -e python/
(in a virtual environment: Debian's own Python is managed by dpkg, where the
package is python3-tarvik). The C libraries are not part of it: they are
loaded by soname (LD_LIBRARY_PATH or TARVIK_LIBDIR for a build tree)."""

from setuptools import setup

setup(
    name='tarvik',
    version='1.0.1158',
    description='Drive tarvik fiscal cash registers through libtarvik and libmirtel (ctypes)',
    packages=['tarvik'],
    python_requires='>=3.7',
)
