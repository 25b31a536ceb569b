#!/usr/bin/env bash
# Registers doccam in the current user's application menu, pointing at the folder this script is
# in, or removes it again.
#
# Usage: doccam-desktop-entry.sh install | uninstall
set -euo pipefail

folder="$(cd "$(dirname "$0")" && pwd)"
applications="${XDG_DATA_HOME:-$HOME/.local/share}/applications"
entry="$applications/doccam.desktop"

case "${1:-}" in
  install)
    template="$folder/doccam.desktop.in"
    [ -f "$template" ] || { echo "doccam.desktop.in is missing beside this script" >&2; exit 1; }
    # Exec quoting would need these escaped, and '|' is the sed delimiter below: rare enough in a
    # folder's name to refuse rather than escape.
    case "$folder" in
      *[\"\`\$\\%\|]*) echo "the folder's path has a character a desktop entry can't hold: $folder" >&2; exit 1 ;;
    esac
    mkdir -p "$applications"
    staging="$(mktemp -d)"
    trap 'rm -rf "$staging"' EXIT
    sed "s|@FOLDER@|$folder|g" "$template" > "$staging/doccam.desktop"
    if command -v desktop-file-validate >/dev/null; then
      desktop-file-validate "$staging/doccam.desktop"
    fi
    mv "$staging/doccam.desktop" "$entry"
    command -v update-desktop-database >/dev/null && update-desktop-database "$applications" 2>/dev/null || true
    echo "registered $entry"
    ;;
  uninstall)
    rm -f "$entry"
    command -v update-desktop-database >/dev/null && update-desktop-database "$applications" 2>/dev/null || true
    echo "removed $entry"
    ;;
  *)
    echo "usage: $0 install | uninstall" >&2
    exit 2
    ;;
esac
