"""Reads the engine's declaration list (entry_points.def).

Shared by every generator that needs the C interface: the engine's own header, export layer and
defaults, and the components' lazy binding. Each entry point becomes an EntryPoint with its name,
flags and parameters (type, name, annotation, the parameter an annotation refers to, whether it
may be null). All entry points return UNSIGNED32.
"""
import os
import re

RETURN_TYPE = "UNSIGNED32"

# Annotation kinds a pointer parameter may carry; scalars carry none.
POINTER_KINDS = {"in", "out", "inout", "buf", "bytes", "array", "field", "ptr"}


class Param:
    def __init__(self, ctype, name, kind, optional, ref):
        self.ctype = ctype          # C type as written, e.g. "UNSIGNED8*"
        self.name = name            # parameter name
        self.kind = kind            # None for scalars, else one of POINTER_KINDS
        self.optional = optional    # may be null
        self.ref = ref              # name of the length/count parameter, or None

    @property
    def is_pointer(self):
        return self.ctype.endswith("*") or self.kind == "ptr"

    @property
    def is_wide(self):
        return self.ctype.startswith("WCHAR")

    def decl(self, with_name=True):
        return f"{self.ctype} {self.name}" if with_name else self.ctype


class EntryPoint:
    def __init__(self, name, params, flags, line):
        self.name = name
        self.params = params
        self.flags = flags
        self.line = line

    def signature(self, with_names=True):
        if not self.params:
            return "void"
        return ", ".join(p.decl(with_names) for p in self.params)

    def call_args(self):
        return ", ".join(p.name for p in self.params)


_ENTRY = re.compile(r"^(Ads\w+)\((.*)\)\s*(?:;\s*(.*))?$")
_PARAM = re.compile(r"^([A-Za-z_][\w ]*?\**)\s*\b([A-Za-z_]\w*)\s*(?::\s*(\w+)(\?)?(?:\[(\w+)\])?)?$")


def parse(path):
    entries = []
    seen = set()
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.strip()
            if not line or line.startswith("#"):
                continue
            m = _ENTRY.match(line)
            if not m:
                raise SystemExit(f"{path}:{number}: not an entry point: {line}")
            name, body, flags = m.group(1), m.group(2).strip(), (m.group(3) or "").split()
            if name in seen:
                raise SystemExit(f"{path}:{number}: {name} declared twice")
            seen.add(name)
            params = []
            if body:
                for piece in body.split(","):
                    pm = _PARAM.match(piece.strip())
                    if not pm:
                        raise SystemExit(f"{path}:{number}: cannot read parameter '{piece.strip()}'")
                    ctype = pm.group(1).replace(" *", "*").strip()
                    kind, optional, ref = pm.group(3), bool(pm.group(4)), pm.group(5)
                    if kind is not None and kind not in POINTER_KINDS:
                        raise SystemExit(f"{path}:{number}: unknown annotation '{kind}'")
                    if ctype.endswith("*") and kind is None:
                        raise SystemExit(f"{path}:{number}: pointer {pm.group(2)} needs an annotation")
                    params.append(Param(ctype, pm.group(2), kind, optional, ref))
            names = {p.name for p in params}
            for p in params:
                if p.ref is not None and p.ref not in names:
                    raise SystemExit(f"{path}:{number}: {p.name} refers to unknown {p.ref}")
            entries.append(EntryPoint(name, params, flags, number))
    return entries


def write_if_changed(path, text):
    """Writes a generated file, leaving it untouched when it already holds `text` (so that the
    build does not recompile what depends on it)."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    if os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            if f.read() == text:
                return
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
