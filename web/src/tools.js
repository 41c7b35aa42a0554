// The programs' runs on a module of the playground, in node as in the page's worker: the
// program's files are written to one directory of the module's in-memory file system, which
// holds nothing else, and each tool runs there as its command line would.

const kDir = '/program';
const kConsole = '/console.txt';

function read(FS, path) {
  return FS.readFile(path, { encoding: 'utf8' });
}

// Makes the directory hold exactly the program's files.
export function placeFiles(module, files) {
  const { FS } = module;
  if (!FS.analyzePath(kDir).exists) FS.mkdir(kDir);
  FS.chdir(kDir);
  for (const name of FS.readdir(kDir)) {
    if (name !== '.' && name !== '..') FS.unlink(`${kDir}/${name}`);
  }
  for (const [name, text] of Object.entries(files)) FS.writeFile(`${kDir}/${name}`, text);
}

// Assembles and checks a program {main, files}: the console, the outputs the run wrote (by
// name), the checker's text and the two statuses, with the time each run took.
export function runProgram(module, program) {
  placeFiles(module, program.files);
  const { FS } = module;
  const started = performance.now();
  const status = module.ccall('playground_wendrix', 'number', ['string', 'string'], [program.main, kConsole]);
  const assembled = performance.now();
  const consoleText = read(FS, kConsole);
  const outputs = {};
  for (const name of FS.readdir(kDir).filter((n) => /\.(lst|hex)$/i.test(n))) {
    const text = read(FS, name);
    if (text !== program.files[name]) outputs[name] = text;
  }
  const lintStatus = module.ccall('playground_lint', 'number', ['string', 'string'], [program.main, kConsole]);
  const findings = read(FS, kConsole);
  return {
    status, console: consoleText, outputs, lintStatus, findings,
    milliseconds: { assemble: assembled - started, check: performance.now() - assembled },
  };
}

function frame(message) {
  const body = JSON.stringify({ jsonrpc: '2.0', ...message });
  return `Content-Length: ${new TextEncoder().encode(body).length}\r\n\r\n${body}`;
}

// The server's hover at a place (line and character from 0) of a file of the program last
// placed: the text of its answer, or '' when it has none.
export function hoverAt(module, file, line, character) {
  const { FS } = module;
  const uri = `file://${kDir}/${file}`;
  const session = [
    frame({ id: 1, method: 'initialize', params: { rootUri: `file://${kDir}`, capabilities: {} } }),
    frame({ method: 'initialized', params: {} }),
    frame({ id: 2, method: 'textDocument/hover', params: { textDocument: { uri }, position: { line, character } } }),
    frame({ id: 3, method: 'shutdown' }),
    frame({ method: 'exit' }),
  ].join('');
  FS.writeFile('/session.in', session);
  module.ccall('playground_lsp', 'number', ['string', 'string'], ['/session.in', '/session.out']);
  const replies = read(FS, '/session.out').split(/Content-Length: \d+\r\n\r\n/).filter(Boolean);
  for (const reply of replies.map((text) => JSON.parse(text))) {
    if (reply.id === 2) return reply.result ? reply.result.contents.value : '';
  }
  return '';
}
