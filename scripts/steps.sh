# step NAME COMMAND...: runs the command and prints how long it took, so a slow
# CI run shows which part grew.
step() {
  local name="$1" start=$SECONDS
  shift
  "$@"
  echo "== step ${name}: $((SECONDS - start)) s"
}
