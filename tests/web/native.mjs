// The native programs on a program {main, files}, in a directory of their own, with the results
// in the shape the playground's runProgram gives: status, console, outputs written (by name),
// and, when `lint` names wendrix-lint, its status and output.
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

export function runNative(program, wendrix, lint) {
  const dir = mkdtempSync(join(tmpdir(), 'wendrix-web-native-'));
  try {
    for (const [name, text] of Object.entries(program.files)) writeFileSync(join(dir, name), text);
    const run = (exe) => {
      try {
        return { status: 0, out: execFileSync(exe, [program.main], { cwd: dir, encoding: 'utf8' }) };
      } catch (e) {
        return { status: e.status, out: e.stdout };
      }
    };
    const assembled = run(wendrix);
    const outputs = {};
    for (const name of readdirSync(dir).filter((n) => /\.(lst|hex)$/i.test(n))) {
      const text = readFileSync(join(dir, name), 'utf8');
      if (text !== program.files[name]) outputs[name] = text;
    }
    const checked = lint ? run(lint) : { status: null, out: null };
    return { status: assembled.status, console: assembled.out, outputs, lintStatus: checked.status, findings: checked.out };
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}
