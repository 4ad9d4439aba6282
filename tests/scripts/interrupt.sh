#!/usr/bin/env bash
# Interrupts efload with SIGINT and SIGTERM during loads and checks what is left.
cd "$(dirname "$0")/../.."
exec python3 tests/scripts/interrupt.py build/linux/src/cli/efload "$@"
