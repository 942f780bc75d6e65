#!/usr/bin/env bash
# Runs the Snakemake workflow as SLURM batch jobs on a single-node cluster of
# its own: munged, slurmctld and slurmd started as root with every key,
# socket, port, state, pid and log file in a temporary folder, so nothing of
# a cluster the machine may already run is used or disturbed. On a dozen
# alignments of every kind of input (one of them broken), four a job, it
# checks that the outputs equal direct colsieve runs, that every job went
# through SLURM with the CPUs and memory it asked for (the job ids in
# Snakemake's log, looked up with scontrol: the cluster keeps no accounting
# database), that the broken alignment's job failed and its log says why,
# that a rerun after mending it submits that job alone and writes the
# summary table (that of one batch run over all), and that the next run
# does nothing. Prints each job's id, state and times.
#
# usage: slurm_test.sh COLSIEVE REPO
# Exits 77 (skipped) when slurm-wlm, munge or snakemake is missing or when
# not run as root, unless COLSIEVE_REQUIRE_ALL is set, as in CI.
set -u
bin=$(realpath "$1")
repo=$(realpath "$2")
PATH=$PATH:/usr/sbin:/sbin
. "$(dirname "$0")/require_tool.sh"
for tool in snakemake munged mungekey munge unmunge slurmctld slurmd sbatch \
            sinfo squeue scontrol scancel srun; do
  require_tool "$tool"
done
if [ "$(id -u)" -ne 0 ]; then
  echo "the SLURM daemons run as root here (SlurmUser=root): run as root"
  [ -n "${COLSIEVE_REQUIRE_ALL:-}" ] && exit 1
  exit 77
fi

work=$(mktemp -d)
chmod 755 "$work"  # munged wants its socket's folder open to all
daemons=()         # "name pid", in the order started
runner=""          # the running workflow's timeout process
fail=0

stop_all() {
  [ -n "$runner" ] && kill -TERM "$runner" 2> /dev/null && wait "$runner"
  if alive slurmctld && alive munged; then
    # Jobs' step daemons outlive slurmd: end the jobs first.
    scancel --quiet --full "--user=$(id -un)" 2> /dev/null
    for _ in $(seq 20); do
      [ -z "$(squeue -h -o %i 2> /dev/null)" ] && break
      sleep 0.5
    done
  fi
  local i name pid
  for ((i = ${#daemons[@]} - 1; i >= 0; i--)); do
    read -r name pid <<< "${daemons[i]}"
    kill -TERM "$pid" 2> /dev/null || continue
    for _ in $(seq 40); do
      kill -0 "$pid" 2> /dev/null || break
      sleep 0.25
    done
    kill -0 "$pid" 2> /dev/null && { echo "$name ($pid) did not stop: killed"; kill -KILL "$pid"; }
    wait "$pid" 2> /dev/null
  done
  rm -rf "$work"
}
trap stop_all EXIT
trap 'exit 1' INT TERM HUP

die() {
  echo "$*"
  for log in "$work"/log/*; do
    [ -s "$log" ] && { echo "--- $log"; tail -n 20 "$log"; }
  done
  exit 1
}

# A daemon in the foreground as a child of this script, so $! is its own PID.
start() {  # name, command...
  local name=$1
  shift
  "$@" > "$work/log/$name.out" 2>&1 &
  daemons+=("$name $!")
}

alive() {  # name: still running?
  local entry
  for entry in "${daemons[@]}"; do
    [ "${entry%% *}" = "$1" ] && kill -0 "${entry#* }" 2> /dev/null && return 0
  done
  return 1
}

wait_for() {  # seconds, description, daemon, command...: polls until it succeeds
  local seconds=$1 what=$2 daemon=$3 t
  shift 3
  for ((t = 0; t < seconds * 4; t++)); do
    "$@" > /dev/null 2>&1 && return 0
    alive "$daemon" || die "$daemon ended while waiting for $what"
    sleep 0.25
  done
  die "no $what after ${seconds}s"
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

mkdir -p "$work/munge" "$work/state" "$work/spool" "$work/log" "$work/run"
for var in $(compgen -e | grep '^SLURM_'); do unset "$var"; done
export USER=root  # Snakemake's SLURM executor reads it

# munge: a fresh key, and a daemon on a socket of its own.
mungekey --create --keyfile="$work/munge/munge.key" || die "mungekey failed"
start munged munged -F --socket="$work/munge/socket" \
  --key-file="$work/munge/munge.key" --pid-file="$work/munge/munged.pid" \
  --seed-file="$work/munge/munged.seed" --log-file="$work/log/munged.log"
munge_works() { munge -S "$work/munge/socket" -n | unmunge -S "$work/munge/socket"; }
wait_for 20 "munge socket" munged munge_works

# slurm.conf for this host: its CPU layout from slurmd -C, most of its memory.
host=$(hostname -s)
layout=$(slurmd -C 2> /dev/null | head -n 1 | tr ' ' '\n' |
         grep -E '^(CPUs|Boards|SocketsPerBoard|CoresPerSocket|ThreadsPerCore)=' |
         tr '\n' ' ')
[ -n "$layout" ] || layout="CPUs=$(nproc)"
cpus=$(sed -n 's/.*CPUs=\([0-9]*\).*/\1/p' <<< "$layout")
mem_kib=$(awk '/^MemTotal:/ { print $2 }' /proc/meminfo)
real_memory=$((mem_kib / 1024 * 9 / 10))
ctld_port=$(free_port)
slurmd_port=$(free_port)
while [ "$slurmd_port" = "$ctld_port" ]; do slurmd_port=$(free_port); done
: > "$work/plugstack.conf"
cat > "$work/slurm.conf" << EOF
ClusterName=colsievetest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$work/munge/socket
CredType=cred/munge
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/log/slurmctld.log
SlurmdLogFile=$work/log/slurmd.log
PlugStackConfig=$work/plugstack.conf
MailProg=/bin/true
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU_Memory
ReturnToService=2
MinJobAge=3600
KillWait=5
NodeName=$host NodeAddr=127.0.0.1 $layout RealMemory=$real_memory State=UNKNOWN
PartitionName=test Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF=$work/slurm.conf
echo "cluster: node $host, $layout RealMemory=$real_memory (nproc $(nproc)," \
  "MemTotal $mem_kib kB), ports $ctld_port and $slurmd_port"

start slurmctld slurmctld -D -i
wait_for 30 "answer from slurmctld" slurmctld scontrol ping
start slurmd slurmd -D -N "$host"
node_idle() { [ "$(sinfo -h -n "$host" -o %T)" = idle ]; }
wait_for 60 "idle node" slurmd node_idle

# The alignments: FASTA (one of MAFFT's, in lower case), Stockholm, Clustal,
# PHYLIP interleaved and sequential, NEXUS, PIR, a gzip-compressed FASTA,
# and one whose records differ in length.
in=$work/alignments
mkdir -p "$in"
cp "$repo/examples/globins4.fa" "$repo/examples/Pkinase.fa" \
   "$repo/examples/MADE1.mafft.fa" "$repo/examples/fn3.sto" "$in/"
cp "$repo/tests/cli/stockholm_blocks/aln.sto" "$in/blocks.sto"
cp "$repo/tests/cli/clustal_counts/aln.aln" "$in/clustal.aln"
cp "$repo/tests/cli/phylip_interleaved/aln.phy" "$in/interleaved.phy"
cp "$repo/tests/cli/phylip_sequential/aln.phy" "$in/sequential.phy"
cp "$repo/tests/cli/nexus_interleaved/aln.nex" "$in/interleaved.nex"
cp "$repo/tests/cli/pir_records/aln.pir" "$in/records.pir"
gzip -n -c "$repo/examples/fn3.fa" > "$in/fn3.fa.gz"
cp "$repo/tests/cli/lengths_differ/aln.fa" "$in/broken.fa"
names=(globins4.fa Pkinase.fa MADE1.mafft.fa fn3.sto blocks.sto clustal.aln
       interleaved.phy sequential.phy interleaved.nex records.pir fn3.fa broken.fa)
threads=$((cpus >= 2 ? 2 : 1))
args="-r -u"  # -u: MADE1 is in lower case
group=4       # three jobs; broken.fa is in the first, with three good ones
mem_factor=1000  # large enough to tell each job's request from the others'

# The workflow's groups, as it makes them: the names in order, four a job.
mapfile -t sorted < <(printf '%s\n' "${names[@]}" | LC_ALL=C sort)
source_of() {  # name: its input file
  if [ -f "$in/$1" ]; then echo "$in/$1"; else echo "$in/$1.gz"; fi
}
members() {  # group number: its alignments' names
  printf '%s\n' "${sorted[@]:$((($1 - 1) * group)):$group}"
}
failing=$((($(printf '%s\n' "${sorted[@]}" | grep -nx broken.fa | cut -d: -f1) - 1) / group + 1))
# A direct run's stderr, prefixed as the batch mode prefixes its lines.
direct_lines() {  # name
  "$bin" -i "$(source_of "$1")" $args 2>&1 > /dev/null | sed "s|^|$(source_of "$1"): |"
}

workflow() {  # log: runs the workflow in $work/run through the profile
  local start=$SECONDS status
  # In the background, so that a signal reaches the traps at once.
  (cd "$work/run" && exec timeout 300 snakemake -s "$repo/workflow/Snakefile" \
     --profile "$repo/workflow/profiles/slurm" --max-status-checks-per-second 1 \
     --config in="$in" out="$work/run/out" colsieve="$bin" args="$args" \
     threads="$threads" group="$group" mem_factor="$mem_factor") > "$1" 2>&1 &
  runner=$!
  wait "$runner"
  status=$?
  runner=""
  echo "$(basename "$1"): snakemake status $status in $((SECONDS - start))s"
  return $status
}

submitted() {  # log: "slurm_id group" for each job Snakemake submitted
  sed -n 's|.*has been submitted with SLURM jobid \([0-9]*\) (log: .*/rule_trim_\([0-9]*\)/.*|\1 \2|p' "$1"
}

job_field() {  # slurm_id, field: from scontrol's one-line record of the job
  scontrol -o show job "$1" | tr ' ' '\n' | sed -n "s/^$2=//p"
}

expected_mem() {  # group: the workflow's request, MB (mem_floor 200)
  local name file sizes=()
  for name in $(members "$1"); do
    file=$(source_of "$name")
    case $file in
      *.gz) sizes+=("$(od -An -tu4 -j $(($(stat -c %s "$file") - 4)) "$file" | tr -d ' ')") ;;
      *) sizes+=("$(stat -c %s "$file")") ;;
    esac
  done
  local top=$(($(printf '%s\n' "${sizes[@]}" | sort -rn | head -n "$threads" | paste -sd+)))
  echo $((200 + (mem_factor * top + 999999) / 1000000))
}

check_jobs() {  # log, count, failing group: the jobs went through here
  local log=$1 count=$2 failed=$3 id g state
  submitted "$log" > "$work/jobs"
  [ "$(wc -l < "$work/jobs")" -eq "$count" ] ||
    { echo "$(basename "$log"): $(wc -l < "$work/jobs") SLURM jobs, expected $count"; fail=1; }
  while read -r id g; do
    state=$(job_field "$id" JobState)
    printf '  job %-4s group %s %-9s submit %s start %s end %s run %s cpus %s mem %s\n' \
      "$id" "$g" "$state" "$(job_field "$id" SubmitTime | cut -c12-)" \
      "$(job_field "$id" StartTime | cut -c12-)" "$(job_field "$id" EndTime | cut -c12-)" \
      "$(job_field "$id" RunTime)" "$(job_field "$id" NumCPUs)" "$(job_field "$id" MinMemoryNode)"
    [ "$(job_field "$id" NodeList)" = "$host" ] ||
      { echo "job $id (group $g) did not run on $host"; fail=1; }
    if [ "$g" = "$failed" ]; then
      [ "$state" = FAILED ] || { echo "job $id (group $g) is $state, not FAILED"; fail=1; }
    else
      [ "$state" = COMPLETED ] || { echo "job $id (group $g) is $state, not COMPLETED"; fail=1; }
    fi
    [ "$(job_field "$id" NumCPUs)" = "$threads" ] ||
      { echo "job $id (group $g) has $(job_field "$id" NumCPUs) CPUs, not $threads"; fail=1; }
    [ "$(job_field "$id" MinMemoryNode)" = "$(expected_mem "$g")M" ] ||
      { echo "job $id (group $g) asked for $(job_field "$id" MinMemoryNode)," \
          "not $(expected_mem "$g")M"; fail=1; }
  done < "$work/jobs"
}

check_outputs() {  # group: its alignments equal direct runs
  local name
  for name in $(members "$1"); do
    "$bin" -i "$(source_of "$name")" $args 2> /dev/null | cmp -s - "$out/$name" ||
      { echo "$name: output differs from a direct run"; fail=1; }
  done
}

# First run: the groups without broken.fa are trimmed; the job of the one
# with it fails, Snakemake removes that group's outputs, and the workflow
# fails without writing the summary table.
out=$work/run/out
groups=$(((${#names[@]} + group - 1) / group))
if workflow "$work/run1.log"; then
  echo "snakemake reported success over a broken alignment"; fail=1
fi
check_jobs "$work/run1.log" "$groups" "$failing"
for ((g = 1; g <= groups; g++)); do
  [ "$g" = "$failing" ] || check_outputs "$g"
done
for name in $(members "$failing"); do
  [ ! -e "$out/$name" ] || { echo "$name of the failed group is left behind"; fail=1; }
done
{
  for name in $(members "$failing"); do direct_lines "$name"; done
  echo "colsieve: $((group - 1)) of $group alignments trimmed, 1 failed (see above)."
} > "$work/group.expected"
diff "$work/group.expected" "$out/logs/group-$failing.log" ||
  { echo "group-$failing.log is not its alignments' messages"; fail=1; }
failed_id=$(awk -v g="$failing" '$2 == g { print $1 }' "$work/jobs")
echo "  job $failed_id's log: $(grep broken.fa "$out/logs/group-$failing.log")"
grep -q "Error in rule trim_$failing:" "$work/run/.snakemake/slurm_logs/rule_trim_$failing/$failed_id.log" 2> /dev/null ||
  { echo "SLURM's log of job $failed_id does not show the failed rule"; fail=1; }
[ ! -e "$out/summary.tsv" ] || { echo "summary.tsv written despite a failed job"; fail=1; }

# Mended, the failed group is the only job of the rerun, and the summary
# table follows, on this machine: the table of one batch run over all.
cp "$repo/examples/3box.fa" "$in/broken.fa"
workflow "$work/run2.log" || { echo "the rerun failed"; cat "$work/run2.log"; fail=1; }
check_jobs "$work/run2.log" 1 ""
[ "$(submitted "$work/run2.log" | cut -d' ' -f2)" = "$failing" ] ||
  { echo "the rerun did not submit group $failing"; fail=1; }
check_outputs "$failing"
grep -q "^localrule summary:" "$work/run2.log" ||
  { echo "the summary was not made by a local rule"; fail=1; }
mapfile -t sources < <(for name in "${sorted[@]}"; do source_of "$name"; done)
"$bin" $args --out-dir "$work/direct" --out-name '{name}' \
  --summary "$work/summary.expected" "${sources[@]}" 2> /dev/null
diff "$work/summary.expected" "$out/summary.tsv" ||
  { echo "summary.tsv is not one batch run's table"; fail=1; }

# Everything is up to date: nothing to submit, nothing to do.
workflow "$work/run3.log" || { echo "the third run failed"; fail=1; }
grep -q "Nothing to be done" "$work/run3.log" && [ -z "$(submitted "$work/run3.log")" ] ||
  { echo "the third run did something:"; cat "$work/run3.log"; fail=1; }

if [ $fail -ne 0 ]; then
  for log in "$work"/run*.log; do echo "--- $log"; cat "$log"; done
  die "failed"
fi
echo "all jobs went through SLURM; outputs equal direct runs"
