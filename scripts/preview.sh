#!/usr/bin/env bash
# The main job: builds lantern-wharf if needed and shows, as a unified diff,
# what the helper would write into this machine's own /etc/hosts for the
# example sets (the file is only read).
set -euo pipefail
cd "$(dirname "$0")/.."
{ cmake --preset default && cmake --build --preset default --target lantern-wharf; } >/dev/null
exec build/default/tools/lantern-wharf/lantern-wharf preview --diff "${1:-examples/sets.json}"
