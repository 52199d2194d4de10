"""The registry of a Wine prefix: regedit files that apply a preset, and the prefix's own
registry files (system.reg, user.reg) read back."""

import os
import re


def registry_parts(key):
    """'HKLM\\SOFTWARE\\X' -> ('HKEY_LOCAL_MACHINE', 'SOFTWARE\\X'); HKLM32 names the 32-bit
    view, which a 64-bit regedit sees below SOFTWARE\\Wow6432Node."""
    root, _, rest = key.partition("\\")
    if root == "HKLM32":
        head, _, tail = rest.partition("\\")
        if head.lower() != "software":
            raise ValueError(f"HKLM32 keys must lie below SOFTWARE: {key}")
        return "HKEY_LOCAL_MACHINE", "SOFTWARE\\Wow6432Node" + ("\\" + tail if tail else "")
    roots = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER"}
    if root not in roots:
        raise ValueError(f"registry root must be HKLM, HKLM32 or HKCU: {key}")
    return roots[root], rest


def _reg_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def registry_file_text(preset):
    """A regedit file that applies a preset {key: {name: value} or None}. A str value is
    REG_SZ, an int REG_DWORD, bytes REG_BINARY, None deletes the value; a key mapped to None is
    deleted."""
    lines = ["Windows Registry Editor Version 5.00", ""]
    for key, values in preset.items():
        root, path = registry_parts(key)
        if values is None:
            lines += [f"[-{root}\\{path}]", ""]
            continue
        lines.append(f"[{root}\\{path}]")
        for name, value in values.items():
            quoted = "@" if name == "" else _reg_string(name)
            if value is None:
                lines.append(f"{quoted}=-")
            elif isinstance(value, bool) or not isinstance(value, (int, str, bytes)):
                raise ValueError(f"unsupported registry value {value!r} for {key}\\{name}")
            elif isinstance(value, bytes):
                lines.append(f"{quoted}=hex:" + ",".join(f"{b:02x}" for b in value))
            elif isinstance(value, int):
                lines.append(f"{quoted}=dword:{value & 0xFFFFFFFF:08x}")
            else:
                lines.append(f"{quoted}={_reg_string(value)}")
        lines.append("")
    return "\r\n".join(lines) + "\r\n"


def _unescape_wine_string(text):
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            if n == "x":
                m = re.match(r"[0-9a-fA-F]{1,4}", text[i + 2:])
                out.append(chr(int(m.group(0), 16)))
                i += 2 + len(m.group(0))
                continue
            out.append({"n": "\n", "r": "\r", "t": "\t", "0": "\0"}.get(n, n))
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out)


def read_wine_registry(path):
    """Parses a Wine registry file into {lower-case key path: {lower-case name: value}}: REG_SZ
    as str, REG_DWORD as int, REG_BINARY as bytes, anything else as its raw text."""
    keys = {}
    current = None
    with open(path, encoding="utf-8", errors="replace") as f:
        text = f.read().replace("\\\n", "")
    for line in text.splitlines():
        if line.startswith("["):
            m = re.match(r"^\[(.*)\]", line)
            current = keys.setdefault(_unescape_wine_string(m.group(1)).lower(), {})
            continue
        if current is None or not line or line[0] not in '"@':
            continue
        if line.startswith("@="):
            name, raw = "", line[2:]
        else:
            m = re.match(r'^"((?:[^"\\]|\\.)*)"=(.*)$', line)
            if not m:
                continue
            name, raw = _unescape_wine_string(m.group(1)), m.group(2)
        if raw.startswith('"') and raw.endswith('"'):
            value = _unescape_wine_string(raw[1:-1])
        elif raw.startswith("str(2):\"") and raw.endswith('"'):
            value = _unescape_wine_string(raw[8:-1])
        elif raw.startswith("dword:"):
            value = int(raw[6:], 16)
        elif raw.startswith("hex:"):
            value = bytes.fromhex(raw[4:].replace(",", "").replace(" ", ""))
        else:
            value = raw
        current[name.lower()] = value
    return keys


class RegistrySnapshot:
    def __init__(self, prefix):
        self.machine = read_wine_registry(os.path.join(prefix, "system.reg"))
        self.user = read_wine_registry(os.path.join(prefix, "user.reg"))

    def key(self, key):
        root, path = registry_parts(key)
        hive = self.machine if root == "HKEY_LOCAL_MACHINE" else self.user
        return hive.get(path.lower())
