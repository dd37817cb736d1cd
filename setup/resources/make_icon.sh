#!/usr/bin/env bash
# Writes the icon "MAIN" (32x32, 16 colours): a blue-banded screen with a white diskette,
# drawn from the pattern below. Usage: make_icon.sh OUTPUT.ico
set -euo pipefail
out=$1
# Pixel rows, top first; one character per pixel: '.' transparent, 'b' dark blue, 'm' mid blue,
# 'l' light blue, 'w' white, 'k' black.
rows=(
"................................"
"..kkkkkkkkkkkkkkkkkkkkkkkkkkkk.."
"..kllllllllllllllllllllllllllk.."
"..kllllllllllllllllllllllllllk.."
"..kllllllllllllllllllllllllllk.."
"..kmmmmmmmmmmmmmmmmmmmmmmmmmmk.."
"..kmmmmmmmmkkkkkkkkkkkkmmmmmmk.."
"..kmmmmmmmmkwwwwwkkwwwkmmmmmmk.."
"..kmmmmmmmmkwwwwwkkwwwkmmmmmmk.."
"..kmmmmmmmmkwwwwwkkwwwkmmmmmmk.."
"..kbbbbbbbbkwwwwwwwwwwkbbbbbbk.."
"..kbbbbbbbbkwwwwwwwwwwkbbbbbbk.."
"..kbbbbbbbbkwkkkkkkkkwkbbbbbbk.."
"..kbbbbbbbbkwkwwwwwwkwkbbbbbbk.."
"..kbbbbbbbbkwkwwwwwwkwkbbbbbbk.."
"..kbbbbbbbbkwkwwwwwwkwkbbbbbbk.."
"..kbbbbbbbbkkkkkkkkkkkkbbbbbbk.."
"..kbbbbbbbbbbbbbbbbbbbbbbbbbbk.."
"..kbbbbbbbbbbbbbbbbbbbbbbbbbbk.."
"..kbbbbbbbbbbbbbbbbbbbbbbbbbbk.."
"..kkkkkkkkkkkkkkkkkkkkkkkkkkkk.."
"................................"
"................................"
"................................"
"................................"
"................................"
"................................"
"................................"
"................................"
"................................"
"................................"
"................................"
)
byte() { printf "\\$(printf '%03o' "$1")"; }
u16() { byte $(($1 & 255)); byte $((($1 >> 8) & 255)); }
u32() { u16 $(($1 & 65535)); u16 $((($1 >> 16) & 65535)); }
index_of() {
  case $1 in
    k|.) echo 0 ;; b) echo 1 ;; m) echo 2 ;; l) echo 3 ;; w) echo 4 ;;
  esac
}
{
  # ICONDIR and its one entry: 32x32, 16 colours, image at offset 22.
  u16 0; u16 1; u16 1
  byte 32; byte 32; byte 16; byte 0; u16 1; u16 4; u32 $((40 + 64 + 512 + 128)); u32 22
  # BITMAPINFOHEADER (height counts the XOR and the AND mask).
  u32 40; u32 32; u32 64; u16 1; u16 4; u32 0; u32 $((512 + 128)); u32 0; u32 0; u32 16; u32 0
  # Palette (blue, green, red, 0): black, dark, mid and light blue, white; the rest black.
  for c in "0 0 0" "128 0 0" "192 0 0" "255 96 96" "255 255 255"; do
    set -- $c; byte "$1"; byte "$2"; byte "$3"; byte 0
  done
  for ((i = 5; i < 16; ++i)); do u32 0; done
  # XOR image, bottom row first, two pixels per byte.
  for ((y = 31; y >= 0; --y)); do
    row=${rows[$y]}
    for ((x = 0; x < 32; x += 2)); do
      byte $(( ($(index_of "${row:$x:1}") << 4) | $(index_of "${row:$((x + 1)):1}") ))
    done
  done
  # AND mask, bottom row first: 1 bits are transparent.
  for ((y = 31; y >= 0; --y)); do
    row=${rows[$y]}
    for ((x = 0; x < 32; x += 8)); do
      v=0
      for ((k = 0; k < 8; ++k)); do
        [ "${row:$((x + k)):1}" = "." ] && v=$((v | (128 >> k)))
      done
      byte $v
    done
  done
} > "$out"
