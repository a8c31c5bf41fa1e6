import subprocess

import quenfel._quenfel as native


def test_module_is_an_abi3_build_exporting_only_its_init():
    assert native.__name__ == "quenfel._quenfel"
    assert native.__file__.endswith(".abi3.so")
    out = subprocess.run(["nm", "-D", "--defined-only", native.__file__], capture_output=True, text=True, check=True)
    exported = [line.split()[-1] for line in out.stdout.splitlines() if " T " in line]
    assert exported == ["PyInit__quenfel"]
