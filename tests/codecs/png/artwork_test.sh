#!/usr/bin/env bash
# The program's pictures pass an independent PNG checker: chunks, CRCs and image data.
set -euo pipefail
folder="${VX_SOURCE_DIR:?}/resources/PNG"
shopt -s nullglob
files=("$folder"/*.png)
if [ ${#files[@]} -eq 0 ]; then
  echo "no pictures in $folder" >&2
  exit 1
fi
pngcheck -q "${files[@]}"
