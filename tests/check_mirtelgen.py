"""The generator refuses a table it cannot turn into a correct library, and
says where: check_mirtelgen.py MIRTELGEN."""
import pathlib
import subprocess
import sys
import tempfile

gen = sys.argv[1]
GOOD = '== Test\n9000 TRVS_TestSet numer:V nazwa:S\n9001 TRVS_TestList hand lista:text wire=V(BS)*|V\n'
CASES = [
    # (the entry, what the refusal must say)
    ('9000 TRVS_TestSet numer:W', 'a Word is written V'),
    ('9000 TRVS_TestSet numer:V tryb:B', 'tryb is the name of a parameter every TRVS_ function has'),
    ('9000 TRVG_TestGet phRequest:V', 'phRequest is the name of a parameter every TRVG_ function has'),
    ('9000 TRVG_TestGet hand lista:text=255*W', 'a Word is written V'),
    ('9000 TRVS_TestSet hand lista:text wire=VW', 'a Word is V on the wire'),
    ('9000 TRVS_TestSet hand lista:text wire=V(BS', 'a group not closed'),
    ('9000 TRVS_TestSet hand lista:text wire=VBS)', 'a ) without its ('),
    ('9000 TRVS_TestSet hand lista:text wire=V(B|S)', 'alternatives only at the top'),
    ('9000 TRVS_TestSet hand lista:text wire=V**', 'two repetitions'),
    ('9000 TRVS_TestSet hand lista:text wire=V()', 'an empty group'),
    ('9000 TRVS_TestSet hand lista:text wire=V|', 'an empty alternative'),
    ('9000 TRVS_TestSet hand lista:text wire=VX', "'X' is no wire letter"),
    ('9000 TRVS_TestSet hand lista:text wire=B0', 'a count of 0'),
]
failed = 0
with tempfile.TemporaryDirectory() as tmp:
    table = pathlib.Path(tmp) / 'tarvik_mirtel_test.cmds'

    def run(text):
        table.write_text(text)
        return subprocess.run([sys.executable, gen, '--out', tmp + '/out', str(table)],
                              capture_output=True, text=True)

    r = run(GOOD)
    if r.returncode:
        print('a good table was refused:', r.stderr)
        failed += 1
    for entry, said in CASES:
        r = run('== Test\n' + entry + '\n')
        if r.returncode == 0 or said not in r.stderr or 'tarvik_mirtel_test.cmds:2' not in r.stderr:
            print('%s\n  wanted a refusal saying %r at line 2, got %d: %s' % (entry, said, r.returncode, r.stderr.strip()))
            failed += 1
print('%d of %d checks failed' % (failed, len(CASES) + 1))
sys.exit(1 if failed else 0)
