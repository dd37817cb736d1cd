#!/usr/bin/env bash
# with_small_drive.sh WINERUN PROBE_EXE TEST_EXE [ARGS...]: runs a Win32 test with drive E: of
# the bench's working prefix on a 1 MiB tmpfs, named to the test by SETUP_TEST_SMALL_DRIVE=E:,
# so that its free space is exact and only the test changes it. Where no tmpfs can be mounted
# (not root), the test runs without it and skips what needs it.
set -u
winerun=$1 probe=$2
shift 2
bench=${WINEBENCH_DIR:?WINEBENCH_DIR is set by the test registration}
"$winerun" "$probe" >/dev/null || exit 125  # the working prefix exists from here on
mnt="$bench/small-drive"
link="$bench/prefix-${WINEBENCH_PREFIX:-default}/dosdevices/e:"
mkdir -p "$mnt"
mounted=0
if mount -t tmpfs -o size=1m tmpfs "$mnt" 2>/dev/null; then
  mounted=1
  ln -sfn "$mnt" "$link"
  export SETUP_TEST_SMALL_DRIVE=E:
fi
"$winerun" "$@"
rc=$?
if [ $mounted = 1 ]; then
  rm -f "$link"
  umount "$mnt"
fi
exit $rc
