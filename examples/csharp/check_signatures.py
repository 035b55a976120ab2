"""Checks that Brivane.cs declares exactly the 22 exports of brivane.h, each __stdcall with parameters
and result that marshal as the header's types, and the three callbacks as __stdcall delegates.
usage: check_signatures.py brivane.h Brivane.cs"""

import re
import sys

# C type in the header -> the C# spellings that marshal it correctly.
ALLOWED = {
    "void": {"void"},
    "uint32_t": {"uint"},
    "int32_t": {"int"},
    "BRIVANE_USER": {"UIntPtr"},
    "int16_t *": {"IntPtr"},
    "void *": {"IntPtr"},
    "const void *": {"IntPtr"},
    "uint32_t *": {"out uint", "ref uint", "IntPtr"},
    "volatile uint32_t *": {"IntPtr"},
    "BrivaneWaveFormat *": {"out WaveFormat", "ref WaveFormat", "IntPtr"},
    "const BrivaneWaveFormat *": {"ref WaveFormat", "IntPtr"},
    "const char *": {"[MarshalAs(UnmanagedType.LPStr)] string"},
    "const BRIVANE_WCHAR *": {"[MarshalAs(UnmanagedType.LPWStr)] string", "IntPtr"},
    "AudioOutCallback": {"AudioOutCallback"},
    "AudioInCallback": {"AudioInCallback"},
    "PcmDataCallback": {"PcmDataCallback"},
}


def c_type(parameter):
    """The type of a C parameter without its name: 'const char *targetPath' -> 'const char *'."""
    parameter = parameter.strip()
    match = re.fullmatch(r"(.*?)\s*(\**)\s*\w+", parameter)
    return (match.group(1) + (" " + match.group(2) if match.group(2) else "")).strip()


def csharp_type(parameter):
    return re.sub(r"\s+\w+$", "", " ".join(parameter.split()))


def split(parameters):
    parameters = parameters.strip()
    return [] if parameters in ("", "void") else [p.strip() for p in parameters.split(",")]


def main(header_path, csharp_path):
    header = " ".join(open(header_path, encoding="utf-8").read().split())
    csharp = " ".join(open(csharp_path, encoding="utf-8").read().split())
    exports = re.findall(r"BRIVANE_API ([^;]*?)\s*BRIVANE_CALL (\w+)\(([^)]*)\);", header)
    callbacks = re.findall(r"typedef void\(BRIVANE_CALL \*(\w+)\)\(([^)]*)\);", header)
    imports = re.findall(r"\[DllImport\(([^]]*)\)\] public static extern (\w+) (\w+)\((.*?)\);", csharp)
    problems = []
    if len(exports) != 22:
        problems.append("brivane.h declares %d exports, not 22" % len(exports))
    declared = {name: (attributes, result, parameters) for attributes, result, name, parameters in imports}
    if sorted(declared) != sorted(name for _, name, _ in exports) or len(imports) != len(declared):
        problems.append("Brivane.cs declares %s" % sorted(name for _, _, name, _ in imports))
    for result, name, parameters in exports:
        if name not in declared:
            continue
        attributes, cs_result, cs_parameters = declared[name]
        if "CallingConvention = Call" not in attributes or "ExactSpelling = true" not in attributes:
            problems.append("%s is not declared __stdcall with its exact name" % name)
        wanted = [c_type(result.strip() + " result")] + [c_type(p) for p in split(parameters)]
        given = [cs_result.strip()] + [csharp_type(p) for p in split(cs_parameters)]
        if len(wanted) != len(given):
            problems.append("%s takes %d arguments, not %d" % (name, len(given) - 1, len(wanted) - 1))
            continue
        for position, (c, cs) in enumerate(zip(wanted, given)):
            if cs not in ALLOWED.get(c, set()):
                problems.append("%s %s: %s does not marshal %s" % (name, "result" if position == 0 else "argument %d" % position, cs, c))
    if "const CallingConvention Call = CallingConvention.StdCall;" not in csharp:
        problems.append("the exports' calling convention is not StdCall")
    for name, parameters in callbacks:
        match = re.search(r"\[UnmanagedFunctionPointer\(CallingConvention.StdCall\)\] public delegate void %s\(([^)]*)\);" % name, csharp)
        if not match:
            problems.append("no __stdcall delegate %s" % name)
            continue
        wanted = [c_type(p) for p in split(parameters)]
        given = [csharp_type(p) for p in split(match.group(1))]
        if len(wanted) != len(given) or any(cs not in ALLOWED.get(c, set()) for c, cs in zip(wanted, given)):
            problems.append("delegate %s takes %s for %s" % (name, given, wanted))
    for problem in problems:
        print("FAIL: " + problem)
    if not problems:
        print("ok: Brivane.cs declares the 22 exports and 3 callbacks of brivane.h with matching types")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
