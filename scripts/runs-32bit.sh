# Sourced by lib.sh and install-deps.sh. runs_32bit: whether this machine runs 32-bit x86
# programs at all. Some kernels of our machines have no working IA-32 emulation; there neither
# 32-bit Wine nor the i686 release build can run, and `wine` must not pick the 32-bit loader.
# The probe is a 96-byte static i386 ELF that only exits with status 7, so nothing but a real
# 32-bit run can pass it.
runs_32bit() {
  if [ -z "${VELMORA_RUNS_32BIT:-}" ]; then
    local probe rc=0
    # Made beside the scripts: a temporary folder may be mounted without the right to run programs.
    probe="$(dirname "${BASH_SOURCE[0]}")/.probe-32bit.$$"
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x07\x00\x00\x00\xcd\x80' > "$probe"
    chmod +x "$probe"
    "$probe" 2>/dev/null || rc=$?
    rm -f "$probe"
    VELMORA_RUNS_32BIT=no
    [ "$rc" = 7 ] && VELMORA_RUNS_32BIT=yes
    export VELMORA_RUNS_32BIT
  fi
  [ "$VELMORA_RUNS_32BIT" = yes ]
}
