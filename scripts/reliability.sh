#!/usr/bin/env bash
# The long reliability campaign of setup.exe under Wine: a full drive at every stage that
# writes, target files that cannot be replaced, and KILLS installations (default 60) killed at
# moments spread over the copy and the system steps, each run again to its end. Prints the
# figures and writes them into docs/reliability.md.
#   scripts/reliability.sh [KILLS]      SETUP_KILL_SEED=N repeats a campaign's kill moments
# Exit status 0 when no file was lost or half written and every run ended as it must.
set -euo pipefail
cd "$(dirname "$0")/.."
kills=${1:-60}
tree=$(tests/winebench/kind --tree)
kind=$(tests/winebench/kind --describe)
cmake --build "$tree" --target setup_e2e_reliability_test probe >/dev/null

# The two registrations of the test as ctest has them (the disk-full stages with the small
# drive's links, the rest without), with room for the long campaign.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
report="$work/report.tsv"
: >"$report"
seconds=$((120 + kills * 8))
echo "reliability: $kind; $kills kills (at most $seconds s)"
status=0
for test in setup_e2e_reliability setup_e2e_reliability.kill; do
  ctest --test-dir "$tree" -R "^${test//./\\.}\$" --show-only=json-v1 >"$work/test.json"
  mapfile -t registered < <(python3 - "$work/test.json" <<'EOF'
import json, sys
test = json.load(open(sys.argv[1]))["tests"][0]
print("\x1f".join(test["command"]))
print("\x1f".join(next(p["value"] for p in test["properties"] if p["name"] == "ENVIRONMENT")))
EOF
  )
  IFS=$'\x1f' read -r -a command <<<"${registered[0]}"
  IFS=$'\x1f' read -r -a environment <<<"${registered[1]}"
  env "${environment[@]}" WINERUN_TIMEOUT=$seconds SETUP_KILL_RUNS="$kills" SETUP_RELIABILITY_REPORT="$report" \
    nice -n 5 tests/winebench/session "${command[@]}" >>"$work/run.log" 2>&1 || status=$?
done
grep -E '^(kill|uninterrupted|\[ *(RUN|OK|FAILED) *\])' "$work/run.log" || true
if [ $status != 0 ]; then
  grep -E -A6 'Failure$' "$work/run.log" | head -60 || true
  echo "reliability: the test program failed (status $status); full log: build/reliability.log"
  cp "$work/run.log" build/reliability.log
fi

# The faults this campaign and the hostile install sets found in setup and how each was
# mended (kept by hand; the table's figures come from the run).
faults=(
  "Killed while a member was extracted, a file was left half written under its real name. Members are extracted whole under the work name \"(N)\" and put in place by one rename."
  "A later system file was deleted before its member was extracted: a damaged member (or a full disk) lost it. It is deleted only once the new file is complete."
  "A target path that is a directory was renamed to the \"(S)\" backup name and a file put in its place. It is reported missing and left alone."
  "The runtime's fclose does not report a last buffer that could not be written: on a full drive an empty SYSTEM.INI was renamed into place and the step reported as done. Written files are flushed and checked before they are closed."
  "The profile functions rewrite an INI file in place and report success when the disk fills: an INI value or KITMAKER.INI was left cut off. The value is written into a copy that replaces the file once it reads back whole (so are the WININIT.INI entries of a file replaced at the next start)."
  "Killed between the two renames of the batch-file (and SYSTEM.INI) replacement, c:\\autoexec.bat was missing, and the next run made a new one of the new lines alone. Where the system replaces a file in one rename, the backup is a copy and the file is replaced in that one step."
  "A setup extension that crashed in \"Start\" took setup down with the system's crash report, in the middle of the copy. While an extension's \"Start\" (or a component's \"DllRegisterServer\") runs, a top-level exception filter returns to setup, which names the extension in its own message and stops the copy as for a \"Start\" that answers 0."
)

python3 - "$report" "$kills" "$kind" "${SETUP_KILL_SEED:-}" "${faults[@]}" >"$work/table.md" <<'EOF'
import sys, datetime
report, kills, kind, seed, faults = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5:]
rows = [line.rstrip("\n").split("\t") for line in open(report) if line.strip()]
out = []
out.append("| Scenario | Runs | Lost or half-written files | Runs that did not end as they must | Work files left | Note |")
out.append("|---|---:|---:|---:|---:|---|")
runs = lost = failed = left = 0
for kind_, scenario, r, l, f, w, note in rows:
    out.append(f"| {kind_}: {scenario} | {r} | {l} | {f} | {w} | {note} |")
    runs += int(r); lost += int(l); failed += int(f); left += int(w)
out.append(f"| **all scenarios** | **{runs}** | **{lost}** | **{failed}** | **{left}** | |")
out.append("")
out.append(f"Faults found and mended: **{len(faults)}** (listed below).")
print("\n".join(out))
print("\x1e" + f"{runs} {lost} {failed} {left} {len(rows)}")
EOF
table=$(sed -n '/^\x1e/!p' "$work/table.md")
read -r runs lost failed left scenarios < <(sed -n 's/^\x1e//p' "$work/table.md")
echo
echo "$table"

{
  echo "# Reliability campaign"
  echo
  echo "Written by \`scripts/reliability.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'): $kind, $kills kills."
  echo "The figures below come from that run; rerun the script to renew them."
  echo
  echo "What runs: the Win32 test \`tests/setup/e2e_reliability_test.cpp\` drives the real setup.exe."
  echo "- **Disk full**: drive E: is a 1 MiB tmpfs, filled to its last byte before the stage; the"
  echo "  work files setup writes at fixed places of drive C: are links onto it. Each stage must end"
  echo "  with its message (in the Note column) and leave every file that was there whole. SETUP.LOG"
  echo "  fails silently by design: that stage must end normally."
  echo "- **Cannot replace**: a read-only target file (replaced), two files held open without"
  echo "  sharing, a target path that is a directory and a system file whose member is damaged"
  echo "  (reported missing, kept whole)."
  echo "- **Kill**: an installation (Windows 95 personality, so that c:\\autoexec.bat is rewritten)"
  echo "  over older versions of its files, with a macro file, an INI value and a SYSTEM.INI device"
  echo "  line, and a read-only system file that is replaced at the next start (WININIT.INI), is"
  echo "  killed half the time between PATHS and the system steps and half the time in the system"
  echo "  steps (timed from an uninterrupted run and from the batch-file rewrite). After each kill"
  echo "  every file must hold its old or its new content (KITMAKER.INI and WININIT.INI, written a"
  echo "  value at a time, may hold a whole step between them); then setup runs again and must"
  echo "  complete with every file new and the read-only file scheduled with its new content."
  echo "  Work files left: files of a killed run that the next run does not use again (the macro"
  echo "  expansion takes the first free \"t%d\" name). Not counted: the deferred copies of the"
  echo "  read-only file (NEW, NE1, ...), one per run as whenever setup runs twice before a restart,"
  echo "  as a pending replacement is never overwritten."
  echo "- Hostile install sets are Win32 tests of the normal test run, not of this script:"
  echo "  \`e2e_hostile_test.cpp\` (members the script does not name, one climbing out with \"..\\\","
  echo "  a missing and an oversized member, a path past 259 characters, a disk 2 of another set)"
  echo "  and \`e2e_extension_test.cpp\` (an extension without \"Start\" and one that crashes in it)."
  echo
  echo "$table"
  echo
  echo "## Faults found and mended"
  echo
  for fault in "${faults[@]}"; do echo "- $fault"; done
  echo
  echo "## Not covered"
  echo
  echo "- A read-only directory does not stop writes when the bench runs as Unix root (Wine maps the"
  echo "  attribute to mode bits); that case is then installed like any other."
  echo "- The system directory, SYSTEM.INI, KITMAKER.INI, the INI file and c:\\autoexec.bat lie on C:, which"
  echo "  cannot be filled: for those stages only the work file (the member's \"(N)\", SYSTEM.new,"
  echo "  KITMAKER.new, the INI file's copy, c:\\zelauto1.new) lies on the full drive."
  echo "- On Windows 95 and Win32s, which have no replacing rename, the batch file and SYSTEM.INI"
  echo "  are still replaced by two renames; a setup stopped between them leaves the previous file"
  echo "  under its backup name. Wine's Windows 95 personality has the replacing rename."
} >docs/reliability.md
echo
echo "written: docs/reliability.md"
if [ $status != 0 ] || [ "$lost" != 0 ] || [ "$failed" != 0 ] || [ "$scenarios" = 0 ]; then exit 1; fi
