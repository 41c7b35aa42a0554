// Prints the shipped examples as the page opens them: {NAME: {main, files}} for each source of
// each directory under the examples directory, with that directory's include files and
// instruction set (node examples.mjs EXAMPLES_DIR).
import { readdirSync, readFileSync, statSync } from 'node:fs';
import { join } from 'node:path';

const examples = {};
function collect(dir) {
  const names = readdirSync(dir).sort();
  const shared = names.filter((name) => /\.inc$|^inst\.dat$/i.test(name));
  for (const name of names) {
    if (statSync(join(dir, name)).isDirectory()) collect(join(dir, name));
    if (!/\.asm$/i.test(name)) continue;
    const files = {};
    for (const file of [name, ...shared]) files[file] = readFileSync(join(dir, file), 'utf8');
    examples[name.replace(/\.asm$/i, '')] = { main: name, files };
  }
}
collect(process.argv[2]);
process.stdout.write(JSON.stringify(examples));
