"""A PEP 517 build backend that needs only the standard library: it packs the `brivane` package and
the bundled encoder profiles into a wheel, so `pip install examples/python` works with no network and
no build tools installed."""

import base64
import hashlib
import os
import zipfile

NAME = "brivane"
VERSION = "0.1.0"
TAG = "py3-none-any"
HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PROFILES = os.path.join(HERE, "..", "..", "profiles")


def _files():
    """(path in the wheel, bytes) for the package and the profiles."""
    package = os.path.join(HERE, NAME)
    for name in sorted(os.listdir(package)):
        if name.endswith(".py"):
            with open(os.path.join(package, name), "rb") as file:
                yield "%s/%s" % (NAME, name), file.read()
    if os.path.isdir(PROFILES):
        for name in sorted(os.listdir(PROFILES)):
            if name.endswith(".prx"):
                with open(os.path.join(PROFILES, name), "rb") as file:
                    yield "%s/profiles/%s" % (NAME, name), file.read()


def _metadata():
    with open(os.path.join(HERE, "README.md"), encoding="utf-8") as file:
        readme = file.read()
    return ("Metadata-Version: 2.1\nName: %s\nVersion: %s\nSummary: Play, capture, convert and decode audio through "
            "the Brivane library\nRequires-Python: >=3.8\nDescription-Content-Type: text/markdown\n\n%s"
            % (NAME, VERSION, readme)).encode()


def _record_line(path, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return "%s,sha256=%s,%d" % (path, digest, len(data))


def get_requires_for_build_wheel(config_settings=None):
    return []


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    info = "%s-%s.dist-info" % (NAME, VERSION)
    filename = "%s-%s-%s.whl" % (NAME, VERSION, TAG)
    entries = list(_files())
    entries.append((info + "/METADATA", _metadata()))
    entries.append((info + "/WHEEL", ("Wheel-Version: 1.0\nGenerator: brivane_build\nRoot-Is-Purelib: true\nTag: %s\n"
                                      % TAG).encode()))
    record = [_record_line(path, data) for path, data in entries] + [info + "/RECORD,,"]
    entries.append((info + "/RECORD", ("\n".join(record) + "\n").encode()))
    with zipfile.ZipFile(os.path.join(wheel_directory, filename), "w", zipfile.ZIP_DEFLATED) as wheel:
        for path, data in entries:
            wheel.writestr(path, data)
    return filename
