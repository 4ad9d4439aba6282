#!/usr/bin/env bash
# Interrupts efload with SIGINT and SIGTERM during loads and checks what is left.
# Debian's python3: the drug list workbooks are written with its python3-openpyxl.
cd "$(dirname "$0")/../.."
exec /usr/bin/python3 tests/scripts/interrupt.py build/linux/src/cli/efload "$@"
