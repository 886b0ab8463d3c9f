#!/bin/sh
# Runs one of the extension's gjs tests as an ES module; 77, which CTest counts as skipped, when
# gjs is not installed.
if ! command -v gjs >/dev/null 2>&1; then
  echo "gjs is not installed: the extension's tests are skipped"
  exit 77
fi
exec gjs -m "$@"
