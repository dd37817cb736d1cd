#!/usr/bin/env bash
# with_small_drive.sh WINERUN PROBE_EXE TEST_EXE [ARGS...]: runs a Win32 test with drive E: of
# the bench's working prefix on a 1 MiB tmpfs, named to the test by SETUP_TEST_SMALL_DRIVE=E:,
# so that its free space is exact and only the test changes it. Where no tmpfs can be mounted
# (not root), the test runs without it and skips what needs it.
#
# SMALL_DRIVE_LINKS="windows/system.new zelauto1.new ...": each of these paths of drive C:
# becomes a link to a file of the same name in E:\LINKS, so that a file setup writes at a fixed
# place of C: (a work file beside SYSTEM.INI, c:\zelauto1.new) lands on the small drive. A file
# already there is kept aside meanwhile and put back at the end.
set -u
winerun=$1 probe=$2
shift 2
bench=${WINEBENCH_DIR:?WINEBENCH_DIR is set by the test registration}
"$winerun" "$probe" >/dev/null || exit 125  # the working prefix exists from here on
mnt="$bench/small-drive"
prefix="$bench/prefix-${WINEBENCH_PREFIX:-default}"
link="$prefix/dosdevices/e:"
mkdir -p "$mnt"
saved_suffix=.small-drive-saved

# The entry of directory $1 named $2 in any letter case (Wine's names ignore case), or nothing.
entry_of() { find "$1" -maxdepth 1 -iname "$2" -print -quit 2>/dev/null; }

make_links() {
  mkdir -p "$mnt/LINKS"
  for rel in ${SMALL_DRIVE_LINKS:-}; do
    local dir="$prefix/drive_c/$(dirname "$rel")" name=$(basename "$rel") old
    old=$(entry_of "$dir" "$name")
    if [ -n "$old" ] && [ ! -L "$old" ]; then mv "$old" "$old$saved_suffix"; fi
    [ -n "$old" ] && [ -L "$old" ] && rm -f "$old"
    : >"$mnt/LINKS/$name"
    ln -s "$mnt/LINKS/$name" "$dir/$name"
  done
}

remove_links() {
  for rel in ${SMALL_DRIVE_LINKS:-}; do
    local dir="$prefix/drive_c/$(dirname "$rel")" name=$(basename "$rel") now saved
    saved=$(entry_of "$dir" "$name$saved_suffix")
    now=$(entry_of "$dir" "$name")
    # A link setup left, or the file that took its place while a saved one waits.
    if [ -n "$now" ] && { [ -L "$now" ] || [ -n "$saved" ]; }; then rm -f "$now"; fi
    [ -n "$saved" ] && mv "$saved" "${saved%$saved_suffix}"
  done
}

mounted=0
if mount -t tmpfs -o size=1m tmpfs "$mnt" 2>/dev/null; then
  mounted=1
  ln -sfn "$mnt" "$link"
  make_links
  export SETUP_TEST_SMALL_DRIVE=E:
fi
"$winerun" "$@"
rc=$?
if [ $mounted = 1 ]; then
  remove_links
  rm -f "$link"
  umount "$mnt"
fi
exit $rc
