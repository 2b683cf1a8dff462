#!/usr/bin/env bash
# Makes 32-bit x86 programs runnable. Some kernels are built or booted without
# 32-bit support; there the 32-bit tree's programs are run by qemu's user-mode
# emulator, registered with binfmt_misc so that every exec of one (by ctest, by
# a test that starts the probe) goes through it.
set -euo pipefail
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'int main(void) { return 0; }' > "$probe/t.c"
gcc -m32 "$probe/t.c" -o "$probe/t32"
"$probe/t32" 2>/dev/null && exit 0

echo "this kernel does not run 32-bit programs: registering qemu-i386"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
if [ ! -x /usr/bin/qemu-i386 ]; then
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq qemu-user >/dev/null
fi
binfmt=/proc/sys/fs/binfmt_misc
[ -e "$binfmt/register" ] || $SUDO mount -t binfmt_misc binfmt_misc "$binfmt"
if [ ! -e "$binfmt/qemu-i386" ]; then
  # ELF32, little-endian, executable or shared object, machine 3 (i386).
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  echo ":qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386:" | $SUDO tee "$binfmt/register" >/dev/null
fi
"$probe/t32"
