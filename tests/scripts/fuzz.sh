#!/usr/bin/env bash
# Every libFuzzer target for a minute (CI's share of fuzzing).
cd "$(dirname "$0")/../.."
exec bash scripts/fuzz --seconds "${EFI_FUZZ_SECONDS:-60}"
