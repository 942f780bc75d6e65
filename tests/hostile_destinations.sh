#!/usr/bin/env bash
# Side files at destinations a hostile or careless user might choose: each
# case runs colsieve and checks the status, standard output and every file
# left behind. Run as root, the run drops to an unprivileged user, so that
# permissions mean what they mean for everyone else.
#
# usage: hostile_destinations.sh COLSIEVE ALIGNMENT CASE
set -u
src_bin=$1
aln=$2
case_name=$3

work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2> /dev/null; rm -rf "$work"' EXIT
chmod 777 "$work"
cd "$work" || exit 1
# A copy everyone may run, whatever the permissions of the build folder.
cp "$src_bin" ./colsieve && chmod 755 ./colsieve
cp "$aln" in.fa && chmod 644 in.fa
unset POSIXLY_CORRECT

user=()
[ "$(id -u)" -eq 0 ] && user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
cs() { "${user[@]}" ./colsieve "$@"; }

fail=0
check() {  # description, then a test command
  local what=$1
  shift
  if ! "$@"; then
    echo "FAIL: $what"
    fail=1
  fi
}
no_temps() { [ -z "$(find . -name '*colsieve-*' -print -quit)" ]; }

# What a plain run writes, to compare against.
./colsieve -i in.fa > want.aln 2> want.err
./colsieve -i in.fa -l want.map > /dev/null 2>&1

# A large alignment, so that output outlasts a pipe buffer.
big() {
  awk 'BEGIN { srand(3); for (i = 1; i <= 2000; i++) { print ">s" i; line = "";
    for (j = 0; j < 2000; j++) line = line substr("ACDEFGHIKLMNPQRSTVWY-", int(rand() * 21) + 1, 1);
    print line } }' > big.fa
}

case $case_name in
  symlink)
    echo old > target.tsv && ln -s target.tsv link.tsv && ln -s new.tsv dangling.tsv
    chmod 666 target.tsv
    cs -i in.fa -l link.tsv -w dangling.tsv > out 2> err
    check "status 0" [ $? -eq 0 ]
    check "link.tsv is still a link" [ -L link.tsv ]
    check "the map went to the link's target" cmp -s want.map target.tsv
    check "dangling.tsv is still a link" [ -L dangling.tsv ]
    check "the report was created at the link's target" grep -q '<svg' new.tsv
    ;;
  dev_stdout)
    cs -i in.fa -l /dev/stdout > out.txt 2> err
    check "status 0" [ $? -eq 0 ]
    cat want.map want.aln > want.both
    check "map and alignment both in the file" cmp -s want.both out.txt
    cs -i in.fa -l out2.txt > out2.txt 2> err
    check "-l FILE > FILE: both in the file" cmp -s want.both out2.txt
    cs -i in.fa -l /dev/stdout 2> err | cat > piped.txt
    check "a pipe is written directly" cmp -s want.both piped.txt
    ;;
  dev_stderr)
    echo before > log && chmod 666 log
    cs -i in.fa -l /dev/stderr > out 2>> log
    check "status 0" [ $? -eq 0 ]
    { echo before; cat want.map want.err; } > want.log
    check "the log keeps its start and gains map and summary" cmp -s want.log log
    echo before > log2 && chmod 666 log2
    cs -i in.fa -e log2 -l log2 > out 2> err
    check "status 0 with -e FILE -l FILE" [ $? -eq 0 ]
    { echo before; cat want.map; } > want.log2
    check "the -e file gains the map after what it held" cmp -s want.log2 log2
    ;;
  dev_fd)
    cs -i in.fa -l /dev/fd/3 3> fd3.tsv > out 2> err
    check "status 0" [ $? -eq 0 ]
    check "the map went into descriptor 3's file" cmp -s want.map fd3.tsv
    ;;
  input_as_side_file)
    cp in.fa orig.fa
    for args in "-i in.fa -l in.fa" "-i in.fa -w ./in.fa" "-i - -l in.fa"; do
      # shellcheck disable=SC2086
      cs $args < in.fa > out 2> err
      check "$args: status 1" [ $? -eq 1 ]
      check "$args: nothing on standard output" [ ! -s out ]
      check "$args: the input is untouched" cmp -s orig.fa in.fa
      check "$args: says why" grep -q "it is the input file" err
    done
    check "no temporary file" no_temps
    ;;
  same_side_files)
    cs -i in.fa -l same.out -w same.out > out 2> err
    check "new file: status 1" [ $? -eq 1 ]
    check "new file: not created" [ ! -e same.out ]
    echo old > same.out && chmod 666 same.out
    cs -i in.fa -l same.out -w ./same.out > out 2> err
    check "existing file: status 1" [ $? -eq 1 ]
    check "existing file: untouched" [ "$(cat same.out)" = old ]
    check "nothing on standard output" [ ! -s out ]
    check "says why" grep -q "same file as the column map" err
    check "no temporary file" no_temps
    ;;
  closed_stdout)
    cs -i - -l cm.tsv -w page.html < in.fa >&- 2> err
    check "status 1" [ $? -eq 1 ]
    check "the usual error line" grep -q "^Error: cannot write output: " err
    check "no side file committed" [ ! -e cm.tsv ] && [ ! -e page.html ]
    check "no temporary file" no_temps
    ;;
  sigpipe)
    big
    cs -i big.fa -l map.tsv -w page.html | head -c 100 > /dev/null
    check "ended by SIGPIPE (141)" [ "${PIPESTATUS[0]}" -eq 141 ]
    check "no side file committed" [ ! -e map.tsv ] && [ ! -e page.html ]
    check "no temporary file" no_temps
    ;;
  signals)
    # ThreadSanitizer holds a signal back while the thread it reaches is
    # blocked in a write, which is where this case puts colsieve.
    if [ -n "${COLSIEVE_TSAN:-}" ]; then
      echo "not under ThreadSanitizer"
      exit 77
    fi
    big
    mkfifo fifo
    exec 3<> fifo  # a reader that never reads: the run blocks on output
    set -m         # background jobs keep SIGINT
    ignored=$((16#$(awk '/^SigIgn/ { print $2 }' /proc/self/status)))
    for sig in TERM INT HUP; do
      # A signal ignored by whoever started the tests stays ignored in
      # colsieve too, as it should: nothing to test then.
      if (( (ignored >> ($(kill -l "$sig") - 1)) & 1 )); then
        echo "SIG$sig is ignored here: not tested"
        continue
      fi
      # Not through cs: a function in the background is a subshell of its
      # own, and the signal must reach colsieve itself.
      "${user[@]}" ./colsieve -i big.fa -l map.tsv -w page.html > fifo 2> /dev/null &
      pid=$!
      for _ in $(seq 100); do [ -n "$(find . -name '*colsieve-*')" ] && break; sleep 0.1; done
      sleep 0.2
      # A shell without job control starts background commands with SIGINT
      # ignored; colsieve then keeps it ignored, as it should.
      child=$((16#$(awk '/^SigIgn/ { print $2 }' "/proc/$pid/status")))
      if (( (child >> ($(kill -l "$sig") - 1)) & 1 )); then
        echo "SIG$sig is ignored by the background run: not tested"
        kill -s KILL "$pid"
        wait "$pid"
        find . -name '*colsieve-*' -delete
        continue
      fi
      kill -s "$sig" "$pid"
      for _ in $(seq 300); do kill -0 "$pid" 2> /dev/null || break; sleep 0.1; done
      if kill -0 "$pid" 2> /dev/null; then
        echo "SIG$sig: still running 30 s after the signal"
        kill -s KILL "$pid"
      fi
      wait "$pid"
      status=$?
      check "SIG$sig: ended by the signal" [ "$status" -eq $((128 + $(kill -l "$sig"))) ]
      check "SIG$sig: no side file committed" [ ! -e map.tsv ] && [ ! -e page.html ]
      check "SIG$sig: no temporary file" no_temps
    done
    exec 3>&-
    ;;
  readonly_dir)
    mkdir ro && echo old > ro/map.tsv && chmod 666 ro/map.tsv && chmod 555 ro
    cs -i in.fa -l ro/map.tsv > out 2> err
    check "status 0" [ $? -eq 0 ]
    check "the file was written in place" cmp -s want.map ro/map.tsv
    cs -i in.fa -l ro/new.tsv > out 2> err
    check "a new file there: status 1" [ $? -eq 1 ]
    check "a new file there: says why" grep -q "Permission denied" err
    ;;
  long_name)
    long=$(printf 'm%.0s' $(seq 245))
    cs -i in.fa -l "$long" > out 2> err
    check "new 245-character name: status 0" [ $? -eq 0 ]
    check "new 245-character name: written" cmp -s want.map "$long"
    echo old > "${long}x" && chmod 666 "${long}x"
    cs -i in.fa -l "${long}x" > out 2> err
    check "existing 246-character name: status 0" [ $? -eq 0 ]
    check "existing 246-character name: written" cmp -s want.map "${long}x"
    check "no temporary file" no_temps
    ;;
  keeps_mode_and_links)
    echo old > private.tsv && chmod 600 private.tsv
    [ ${#user[@]} -gt 0 ] && chown 65534:65534 private.tsv
    cs -i in.fa -l private.tsv > out 2> err
    check "status 0" [ $? -eq 0 ]
    check "0600 stays 0600" [ "$(stat -c %a private.tsv)" = 600 ]
    check "written" cmp -s want.map private.tsv
    echo old > linked.tsv && ln linked.tsv other.tsv && chmod 666 linked.tsv
    cs -i in.fa -l linked.tsv > out 2> err
    check "hard link: the other name sees the new content" cmp -s want.map other.tsv
    ;;
  in_place_failure)
    big
    echo old > linked.tsv && ln linked.tsv other.tsv && chmod 666 linked.tsv
    # A file-size limit stands in for a full disk; the alignment goes to a
    # pipe, which the limit does not touch.
    (trap '' XFSZ; ulimit -f 1; cs -i big.fa -w linked.tsv) 2> err | cat > out
    check "status 1" [ "${PIPESTATUS[0]}" -eq 1 ]
    check "says the file may be incomplete" grep -q "linked.tsv may be incomplete" err
    check "the alignment was written first" [ "$(head -c 3 out)" = ">s1" ]
    ;;
  in_place_failure_keeps_others)
    # The report (in place: it has another link) outgrows the size limit;
    # the alignment and the map (staged) fit, and must not replace their
    # files when the run fails.
    for f in out.fa map.tsv page.html; do echo old > $f && chmod 666 $f; done
    [ ${#user[@]} -gt 0 ] && chown 65534:65534 out.fa map.tsv
    ln page.html page-link.html
    (trap '' XFSZ; ulimit -f 8; cs -i in.fa -o out.fa -l map.tsv -w page.html) > out 2> err
    check "status 1" [ $? -eq 1 ]
    check "says the report may be incomplete" grep -q "page.html may be incomplete" err
    check "-o keeps its old content" [ "$(cat out.fa)" = old ]
    check "the map keeps its old content" [ "$(cat map.tsv)" = old ]
    check "nothing on standard output" [ ! -s out ]
    check "no temporary file" no_temps
    ;;
  *)
    echo "unknown case $case_name"
    exit 1
    ;;
esac
[ $fail -eq 0 ] || { echo "--- stderr of the last run:"; cat err 2> /dev/null; }
exit $fail
