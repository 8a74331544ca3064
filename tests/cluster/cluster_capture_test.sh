#!/usr/bin/env bash
# A capture in parts run by a Slurm cluster of one node, started here with a
# private configuration, and by GNU parallel from --plan: each joined video
# must decode to the pictures, times and sound of the same capture by --jobs 1,
# also after one part is lost and run again alone; parts of another seed or
# size are refused by name. Needs root (munged, slurmctld and slurmd run as
# root); exits 77 (skipped) where it cannot run.
# Usage: cluster_capture_test.sh VELMORA CONTENT_DIR JOB_SCRIPT
set -euo pipefail
velmora=$1 content=$2 script=$3
exec </dev/null

skip() { echo "SKIPPED: $*"; exit 77; }
[ "$(id -u)" = 0 ] || skip "the Slurm daemons must run as root"
for program in munged slurmctld slurmd sbatch squeue parallel ffmpeg; do
  command -v "$program" >/dev/null || [ -x "/usr/sbin/$program" ] || skip "$program is not installed (scripts/install-deps)"
done

dir=$(mktemp -d)
stop() {
  scancel --full "--user=$(id -u)" 2>/dev/null || true
  for pid in slurmd slurmctld munged; do
    [ -s "$dir/$pid.pid" ] && kill "$(cat "$dir/$pid.pid")" 2>/dev/null || true
  done
  sleep 1
  rm -rf "$dir"
}
trap stop EXIT
fail() { echo "FAILED: $*"; for log in "$dir"/*.log "$dir"/out/*.log; do [ -f "$log" ] && tail -n 20 "$log"; done; exit 1; }

# The cluster: munge's key and socket, Slurm's state and spool in $dir, ports
# of their own so that nothing else on the machine is reached.
mkdir -p "$dir/state" "$dir/spool" "$dir/out"
head -c 1024 /dev/urandom >"$dir/munge.key"
chmod 400 "$dir/munge.key"
/usr/sbin/munged --force --key-file="$dir/munge.key" --socket="$dir/munge.socket" --log-file="$dir/munged.log" \
  --pid-file="$dir/munged.pid" --seed-file="$dir/munged.seed"
port=$((20000 + RANDOM % 20000))
node=$(hostname -s)
cat >"$dir/slurm.conf" <<CONF
ClusterName=velmora
SlurmctldHost=$node(127.0.0.1)
SlurmUser=root
SlurmctldPort=$port
SlurmdPort=$((port + 1))
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$dir/munge.socket
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
NodeName=$node NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=velmora Nodes=$node Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF=$dir/slurm.conf VELMORA=$velmora SDL_AUDIODRIVER=dummy
/usr/sbin/slurmctld -i
/usr/sbin/slurmd
for _ in $(seq 30); do sinfo -h -o %t 2>/dev/null | grep -q idle && break; sleep 1; done
sinfo -h -o %t 2>/dev/null | grep -q idle || fail "the Slurm node did not come up"

# Runs the array and whatever it submits; every job must end.
run_array() {
  (cd "$dir/out" && sbatch --array="$1" --cpus-per-task=1 "$script" "$dir/out/slurm.mkv" 3 "${options[@]}") >/dev/null
  for _ in $(seq 300); do [ -z "$(squeue -h)" ] && return; sleep 1; done
  fail "the Slurm jobs did not end"
}
# The decoded pictures, their times and the sound of a video.
decoded() {
  ffmpeg -nostdin -loglevel error -i "$1" -map 0:v -f framemd5 - | grep -v '^#'
  ffprobe -v error -select_streams v -show_entries packet=pts_time -of csv=p=0 "$1"
  ffmpeg -nostdin -loglevel error -i "$1" -map 0:a -f framemd5 - | grep -v '^#'
}
same() {
  [ -s "$1" ] || fail "$1 was not written"
  cmp -s <(decoded "$dir/reference.mkv") <(decoded "$1") || fail "$1 differs from --jobs 1"
}

options=(--data "$content" --lossless --fps 5 --seconds 22 --size 160x120)
run_array 0-2
[ -s "$dir/out/slurm.mkv" ] || fail "the array's join wrote nothing"
seed=$(grep -o -- '--seed [0-9]*' "$dir/out/slurm.mkv.plan" | head -n 1 | cut -d ' ' -f 2)
"$velmora" --capture "$dir/reference.mkv" --jobs 1 --seed "$seed" "${options[@]}" >/dev/null 2>&1
same "$dir/out/slurm.mkv"

rm "$dir/out/slurm.mkv" "$dir/out/slurm.part-001.mkv"
run_array 1
same "$dir/out/slurm.mkv"

# A part of another seed, then of another size, in place of the second part.
part1=$(sed -n 3p "$dir/out/slurm.mkv.plan")
for change in "s/--seed $seed/--seed $((seed ^ 1))/" "s/--size 160x120/--size 128x96/"; do
  eval "$(sed -e "$change" -e 's/slurm.part-001.mkv/foreign.mkv/' <<<"$part1")" 2>/dev/null
  if message=$("$velmora" --join "$dir/joined.mkv" "$dir/out/slurm.part-000.mkv" "$dir/out/foreign.mkv" \
    "$dir/out/slurm.part-002.mkv" 2>&1); then
    fail "joined a foreign part ($change)"
  fi
  grep -q "foreign.mkv is from another run than .*slurm.part-000.mkv" <<<"$message" || fail "$message"
done

# The plan run by GNU parallel on this machine (':'), the join after it.
"$velmora" --plan 3 --seed "$seed" "${options[@]}" "$dir/parallel.mkv" >"$dir/plan.txt"
head -n -1 "$dir/plan.txt" | parallel --will-cite --sshlogin : >/dev/null 2>&1
tail -n 1 "$dir/plan.txt" | sh 2>/dev/null
same "$dir/parallel.mkv"
echo "PASSED: Slurm array, part re-run, foreign parts refused, GNU parallel"
