"""Checks the MSVC-style import library without an MSVC linker: every one of
the 14 functions has a short import member whose symbol is the decorated
__stdcall name, whose import name (after undecoration) is the DLL's export,
with the export's ordinal as hint, and the linker member lists __imp__ names.

usage: check_msvc_import_library.py <library.lib> <exports.def>
"""
import re
import struct
import sys

IMPORT_NAME_UNDECORATE = 3
IMAGE_FILE_MACHINE_I386 = 0x14C


def members(data):
    if data[:8] != b"!<arch>\n":
        raise SystemExit("not an archive")
    pos = 8
    while pos < len(data):
        header = data[pos:pos + 60]
        size = int(header[48:58].decode().strip())
        yield header[:16].decode().strip(), data[pos + 60:pos + 60 + size]
        pos += 60 + size + (size & 1)


def short_imports(data):
    """Maps each decorated symbol to (import name, hint, name type, machine, dll)."""
    found = {}
    for _, body in members(data):
        if body[:4] != b"\0\0\xff\xff":
            continue
        _, _, _, machine, _, size, hint, kind = struct.unpack("<HHHHIIHH", body[:20])
        symbol, dll = body[20:20 + size].split(b"\0")[:2]
        name_type = (kind >> 2) & 7
        symbol = symbol.decode()
        imported = symbol.lstrip("_").split("@")[0] if name_type == IMPORT_NAME_UNDECORATE else symbol
        found[symbol] = (imported, hint, name_type, machine, dll.decode())
    return found


def linker_member_symbols(data):
    """Names in the first linker member ('/'), big-endian count then offsets then names."""
    name, body = next(members(data))
    if name != "/":
        raise SystemExit("no linker member")
    count = struct.unpack(">I", body[:4])[0]
    return body[4 + 4 * count:].split(b"\0")[:count]


def main(lib_path, def_path):
    data = open(lib_path, "rb").read()
    exports = re.findall(r"^\s*(\w+) = (\w+@\d+) @(\d+)", open(def_path).read(), re.M)
    if len(exports) != 14:
        raise SystemExit(f"{def_path}: expected 14 exports, found {len(exports)}")
    imports = short_imports(data)
    table = {s.decode() for s in linker_member_symbols(data)}
    errors = []
    for name, decorated, ordinal in exports:
        symbol = "_" + decorated
        if symbol not in imports:
            errors.append(f"{symbol}: no import member")
            continue
        imported, hint, name_type, machine, dll = imports[symbol]
        if (imported, name_type) != (name, IMPORT_NAME_UNDECORATE):
            errors.append(f"{symbol}: imports {imported!r} (name type {name_type}), not {name!r}")
        if hint != int(ordinal):
            errors.append(f"{symbol}: hint {hint}, export ordinal {ordinal}")
        if machine != IMAGE_FILE_MACHINE_I386 or dll != "Tavrix_1417_PCI_Vusk.dll":
            errors.append(f"{symbol}: machine {machine:#x}, DLL {dll}")
        for wanted in (symbol, "__imp_" + symbol):
            if wanted not in table:
                errors.append(f"{wanted}: missing from the linker member")
    if len(imports) != 14:
        errors.append(f"expected 14 import members, found {len(imports)}: {sorted(imports)}")
    for error in errors:
        print(error, file=sys.stderr)
    if errors:
        return 1
    print(f"{lib_path}: 14 decorated __stdcall names import the undecorated exports")
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
