#!/usr/bin/env bash
# Kills efload with SIGKILL during loads and derivations and checks the database.
cd "$(dirname "$0")/../.."
exec python3 tests/scripts/crash_safety.py build/linux/src/cli/efload "$@"
