#!/usr/bin/env bash
# Exits 0 when this kernel runs 32-bit x86 programs, 1 when it does not (no ia32 emulation:
# "Exec format error"), and then 32-bit Wine, whose loader is such a program, cannot start
# either. The answer comes from running the smallest such program, which only calls exit, not
# from whether Wine is installed. It is assembled and linked here with binutils (which every
# compiler toolchain brings), or with clang and lld when binutils cannot.
#
#   scripts/can-run-x86.sh [-v]     -v says which way it went
set -uo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Linux's 32-bit system call 1 is exit; the status 42 tells a run from a failure to start.
cat >"$work/exit.s" <<'ASM'
.globl _start
_start:
  movl $1, %eax
  movl $42, %ebx
  int $0x80
ASM
if ! { as --32 "$work/exit.s" -o "$work/exit.o" && ld -m elf_i386 "$work/exit.o" -o "$work/exit"; } 2>/dev/null &&
   ! clang --target=i686-linux-gnu -nostdlib -static -fuse-ld=lld "$work/exit.s" -o "$work/exit" 2>/dev/null; then
  echo "can-run-x86: cannot build a 32-bit test program (binutils or clang with lld needed)" >&2
  exit 2
fi
"$work/exit" 2>/dev/null
status=$?
if [ "$status" -eq 42 ]; then
  [ "${1:-}" = -v ] && echo "this kernel runs 32-bit x86 programs"
  exit 0
fi
[ "${1:-}" = -v ] && echo "this kernel cannot run 32-bit x86 programs (a 32-bit test program exited $status)"
exit 1
