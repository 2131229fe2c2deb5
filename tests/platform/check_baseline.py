#!/usr/bin/env python3
"""Fails when code meant for any x86 processor holds AVX instructions.

  check_baseline.py OBJDUMP objects FILE...   every instruction of each object
  check_baseline.py OBJDUMP library FILE      every function of the linked
      library but those of the per-target kernels (namespaces tavrix::avx2
      and tavrix::avx512), which run only where the processor has them
  check_baseline.py NM kernels FILE...        the objects of the wide targets
      define nothing with external linkage outside their namespaces: the
      linker could keep such a copy (an inline function, a template) for
      code that runs on any processor

VEX- and EVEX-encoded instructions are recognised by their mnemonics: the
vector ones start with "v", the AVX-512 mask ones with "k", and a few
general-purpose ones of BMI are VEX-encoded too.
"""
import re
import subprocess
import sys

VEX_GENERAL = {"andn", "bextr", "blsi", "blsmsk", "blsr", "bzhi", "mulx", "pdep", "pext", "rorx",
               "sarx", "shlx", "shrx"}
NOT_VEX = {"verr", "verw"}
# Mangled names of the wide targets' code, local entities (lambdas) included;
# MinGW adds a leading underscore.
WIDE_NAMESPACES = re.compile(r"^_*Z*N6tavrix(?:4avx2|6avx512)")
FUNCTION = re.compile(r"^[0-9a-f]+ <(.*)>:$")
INSTRUCTION = re.compile(r"^\s*[0-9a-f]+:\s+(?:(?:data16|lock|rep\w*|notrack|bnd)\s+)*([a-z][a-z0-9.]*)")


def is_wide(mnemonic):
    if mnemonic in NOT_VEX:
        return False
    return mnemonic.startswith("v") or (mnemonic.startswith("k") and len(mnemonic) > 2) \
        or mnemonic in VEX_GENERAL


def wide_instructions(objdump, path):
    """(function, mnemonic) of every wide instruction in the file."""
    out = subprocess.run([objdump, "-d", "--no-show-raw-insn", path], check=True,
                         capture_output=True, text=True).stdout
    function = "?"
    for line in out.splitlines():
        m = FUNCTION.match(line)
        if m:
            function = m.group(1)
            continue
        m = INSTRUCTION.match(line)
        if m and is_wide(m.group(1)):
            yield function, m.group(1)


def shared_definitions(nm, path):
    """External symbols an object defines outside the wide targets' namespaces."""
    out = subprocess.run([nm, "--defined-only", path], check=True, capture_output=True,
                         text=True).stdout
    for line in out.splitlines():
        fields = line.split()
        if len(fields) != 3 or fields[1] not in "TWVDRBGS":
            continue
        # The compiler's own: references for exception handling (DW.ref.*) and
        # AddressSanitizer's marks of a variable (__odr_asan.NAME), no code.
        symbol = fields[2]
        if symbol.startswith("DW.ref."):
            continue
        if symbol.startswith("__odr_asan."):
            symbol = symbol[len("__odr_asan."):]
        if not WIDE_NAMESPACES.match(symbol):
            yield fields[2]


def main(argv):
    if len(argv) < 4 or argv[2] not in ("objects", "library", "kernels"):
        print(__doc__, file=sys.stderr)
        return 2
    tool, mode, files = argv[1], argv[2], argv[3:]
    if mode == "kernels":
        shared = [(path, symbol) for path in files for symbol in shared_definitions(tool, path)]
        for path, symbol in shared:
            print(f"{path}: {symbol}")
        if shared:
            print(f"{len(shared)} external symbols outside the per-target namespaces")
            return 1
        print(f"{len(files)} files: every external symbol inside its target's namespace")
        return 0
    objdump = tool
    found = {}
    for path in files:
        for function, mnemonic in wide_instructions(objdump, path):
            if mode == "library" and WIDE_NAMESPACES.match(function):
                continue
            found.setdefault((path, function), mnemonic)
    for (path, function), mnemonic in sorted(found.items()):
        print(f"{path}: {function}: {mnemonic}")
    if found:
        print(f"{len(found)} functions hold AVX instructions outside the per-target kernels")
        return 1
    print(f"{len(files)} files: no AVX instruction outside the per-target kernels")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
