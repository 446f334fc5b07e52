#!/usr/bin/env bash
# Installs published Claude Code and Codex CLIs into a folder of their own:
#   scripts/install-agents.sh DIR @anthropic-ai/claude-code@VERSION @openai/codex@VERSION
# Never into the global npm prefix or the repository. Each package ships its
# native binary in a platform package, so no install script has to run.
# A folder that already holds exactly these versions is left alone.
set -euo pipefail
dir=$1
shift
stamp="$dir/.installed"
if [ "$(cat "$stamp" 2>/dev/null)" != "$*" ]; then
  mkdir -p "$dir"
  npm install --prefix "$dir" --no-audit --no-fund --no-save --loglevel=error "$@"
  printf '%s' "$*" > "$stamp"
fi
