#!/usr/bin/env bash
# Kills efload with SIGKILL during loads and derivations and checks the database.
# Debian's python3: the drug list workbooks are written with its python3-openpyxl.
cd "$(dirname "$0")/../.."
exec /usr/bin/python3 tests/scripts/crash_safety.py build/linux/src/cli/efload "$@"
