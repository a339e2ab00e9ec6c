# step NAME COMMAND...: runs the command and prints its wall-clock and CPU
# time, so a slow CI run shows which part grew (CPU time does not depend on
# what else the machine is doing).
step() {
  local name="$1"
  shift
  local TIMEFORMAT="== step ${name}: %R s (cpu %U s user + %S s sys)"
  time "$@"
}
