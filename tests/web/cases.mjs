// The playground's module against the native programs, in node: every case of tests/cases that
// needs only files and a source name is run by native wendrix (and wendrix-lint where the case
// checks it) and by the module, each twice, and the consoles and outputs must be the same bytes.
// node cases.mjs DIST WENDRIX WENDRIX_LINT CASES_DIR EXAMPLES_DIR
import { readdirSync, readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { basename, join, resolve } from 'node:path';
import { runProgram } from '../../web/src/tools.js';
import { runNative } from './native.mjs';

const [dist, wendrix, lint, casesDir, examplesDir] = process.argv.slice(2).map((arg) => resolve(arg));
const createWendrix = createRequire(import.meta.url)(join(dist, 'wendrix-web.js'));

// The case files' sections, as tests/cases_test.cc reads them: "=== name" starts a case whose
// text is t.asm; "--- kind arg" starts a section; sections before a file's first case are shared.
function loadCases() {
  const cases = [];
  for (const file of readdirSync(casesDir).filter((n) => n.endsWith('.txt')).sort()) {
    const shared = [];
    let into = shared;
    for (const line of readFileSync(join(casesDir, file), 'utf8').split('\n')) {
      if (line.startsWith('=== ')) {
        cases.push({ name: `${file}: ${line.slice(4)}`, sections: [...shared.map((s) => ({ ...s })), { kind: 'file', arg: 't.asm', text: '' }] });
        into = cases.at(-1).sections;
      } else if (line.startsWith('--- ')) {
        const [kind, ...rest] = line.slice(4).split(' ');
        into.push({ kind, arg: rest.join(' ').trim(), text: '' });
      } else if (into.length) {
        into.at(-1).text += line + '\n';
      }
    }
  }
  for (const c of cases) {
    for (const s of c.sections) s.text = s.text.replace(/\n+$/, '\n').replace(/^\n$/, '');
  }
  return cases;
}

// What a case needs the file system to hold and the source it names, or null for a case that
// needs more than files (links, directories, FIFOs, limits, another program path, no argument).
function programOf(c) {
  const files = {};
  let source = 't';
  for (const s of c.sections) {
    if (['dir', 'link', 'fifo', 'limit', 'program'].includes(s.kind)) return null;
    if (s.kind === 'file') files[s.arg] = s.text;
    if (s.kind === 'example') files[basename(s.arg)] = readFileSync(join(examplesDir, s.arg), 'utf8');
    if (s.kind === 'args') {
      const words = s.arg.split(/\s+/).filter(Boolean);
      if (words.length !== 1) return null;
      source = words[0];
    }
  }
  if (Object.keys(files).some((name) => name.includes('/'))) return null;
  return { main: source, files, lint: c.sections.some((s) => s.kind === 'lint') };
}

const module = await createWendrix({ wasmBinary: readFileSync(join(dist, 'wendrix-web.wasm')) });
const cases = loadCases().map((c) => ({ ...c, program: programOf(c) })).filter((c) => c.program);
let failures = 0;
let comparisons = 0;
const expect = (c, what, got, want) => {
  comparisons += 1;
  if (got === want) return;
  failures += 1;
  console.log(`FAIL ${c.name}: ${what}\n--- module\n${got}\n--- native\n${want}`);
};
const natives = new Map(cases.map((c) => [c, runNative(c.program, wendrix, c.program.lint ? lint : null)]));
// Forward, then backward: a run must not depend on the runs before it in the same module.
for (const order of [cases, [...cases].reverse()]) {
  for (const c of order) {
    const want = natives.get(c);
    let got;
    try {
      got = runProgram(module, c.program);
    } catch (e) {
      console.log(`FAIL ${c.name}: the module threw ${String(e).slice(0, 200)}`);
      failures += 1;
      continue;
    }
    expect(c, 'status', got.status, want.status);
    expect(c, 'console', got.console, want.console);
    expect(c, 'output names', Object.keys(got.outputs).sort().join(' '), Object.keys(want.outputs).sort().join(' '));
    for (const name of Object.keys(want.outputs)) expect(c, name, got.outputs[name], want.outputs[name]);
    if (c.program.lint) {
      expect(c, 'wendrix-lint status', got.lintStatus, want.lintStatus);
      expect(c, 'wendrix-lint output', got.findings, want.findings);
    }
  }
}
console.log(`${cases.length} cases, ${comparisons} comparisons, ${failures} failed`);
if (cases.length < 30) {
  console.log('FAIL: fewer than 30 cases were run; the case files were not read');
  failures += 1;
}
process.exit(failures ? 1 : 0);
