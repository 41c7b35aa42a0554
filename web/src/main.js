// The playground's page: the program's files in tabs of one editor, their runs in a worker, the
// outputs, the checker's findings as markers, hovers from the language server, and share links.
import { EditorView, basicSetup } from 'codemirror';
import { EditorState } from '@codemirror/state';
import { hoverTooltip } from '@codemirror/view';
import { lintGutter, setDiagnostics } from '@codemirror/lint';
import { encodeProgram, decodeProgram, isPlainName } from './share.js';
import { parseFindings, orderedNames, markdownToHtml } from './present.js';
import { sourceHighlighting } from './highlight.js';

const kRunLimitMs = 10000;  // a run that takes longer is stopped and its worker started afresh
const $ = (id) => document.getElementById(id);

const page = {
  program: null,       // {main, files}
  active: '',          // the file in the editor
  states: new Map(),   // an editor state per file: its own undo history
  view: null,
  worker: null,
  nextId: 1,
  waiting: new Map(),  // request id -> its answer's handler
  running: false,
  again: false,        // an edit came while a run was on
  findings: [],
  outputs: {},
};

function startWorker() {
  page.worker = new Worker('worker.js');
  page.worker.onmessage = (event) => {
    const handler = page.waiting.get(event.data.id);
    page.waiting.delete(event.data.id);
    if (handler) handler(event.data);
  };
}

function ask(request, handler) {
  const id = page.nextId++;
  page.waiting.set(id, handler);
  page.worker.postMessage({ id, ...request });
  return id;
}

// Runs the program as it stands; edits during a run make one more run when it ends.
function run() {
  if (page.running) {
    page.again = true;
    return;
  }
  page.running = true;
  page.again = false;
  $('status').textContent = 'assembling...';
  const watchdog = setTimeout(() => {
    page.worker.terminate();
    page.waiting.clear();
    startWorker();
    page.running = false;
    $('status').textContent = `stopped: the run took over ${kRunLimitMs / 1000} s`;
  }, kRunLimitMs);
  ask({ kind: 'run', program: page.program }, (result) => {
    clearTimeout(watchdog);
    page.running = false;
    show(result);
    if (page.again) run();
  });
}

function show(result) {
  $('console').textContent = result.console;
  $('findings').textContent = result.findings;
  const lst = Object.keys(result.outputs).find((name) => /\.lst$/i.test(name));
  const hex = Object.keys(result.outputs).find((name) => /\.hex$/i.test(name));
  page.outputs = { lst, hex, texts: result.outputs };
  $('lst').textContent = lst ? result.outputs[lst] : '';
  $('hex').textContent = hex ? result.outputs[hex] : '';
  $('download-lst').disabled = !lst;
  $('download-hex').disabled = !hex;
  const ms = result.milliseconds;
  $('status').textContent = (result.status === 0 ? 'assembled' : 'stopped with an error') +
    ` in ${ms.assemble.toFixed(1)} ms, checked in ${ms.check.toFixed(1)} ms`;
  $('status').dataset.runs = String(Number($('status').dataset.runs || 0) + 1);
  page.findings = parseFindings(result.findings);
  markFindings();
}

// The findings of the file in the editor, as the editor's diagnostics.
function markFindings() {
  const doc = page.view.state.doc;
  const diagnostics = [];
  for (const f of page.findings) {
    if (f.file !== page.active || f.line < 1 || f.line > doc.lines) continue;
    const line = doc.line(f.line);
    const from = line.from + Math.min(f.column - 1, line.length);
    const word = /^[^\s,;]*/.exec(line.text.slice(from - line.from))[0];
    const to = Math.min(line.to, from + Math.max(word.length, 1));
    diagnostics.push({ from, to, severity: f.severity === 'note' ? 'info' : f.severity, message: f.message });
  }
  page.view.dispatch(setDiagnostics(page.view.state, diagnostics));
}

const hover = hoverTooltip((view, pos) => {
  const line = view.state.doc.lineAt(pos);
  const file = page.active;
  return new Promise((resolve) => {
    ask({ kind: 'hover', file, line: line.number - 1, character: pos - line.from },
      (answer) => {
        if (!answer.hover || file !== page.active) return resolve(null);
        resolve({
          pos, above: true,
          create() {
            const dom = document.createElement('div');
            dom.className = 'wendrix-hover';
            dom.innerHTML = markdownToHtml(answer.hover);
            return { dom };
          },
        });
      });
  });
});

function editorState(name, text) {
  const extensions = [basicSetup, lintGutter(), hover,
    EditorView.updateListener.of((update) => {
      if (!update.docChanged || name !== page.active) return;
      page.program.files[name] = update.state.doc.toString();
      run();
    })];
  if (!/^inst\.dat$/i.test(name)) extensions.push(sourceHighlighting);
  return EditorState.create({ doc: text, extensions });
}

function select(name) {
  if (page.active && page.states.has(page.active)) page.states.set(page.active, page.view.state);
  page.active = name;
  page.view.setState(page.states.get(name));
  renderTabs();
  markFindings();
}

function renderTabs() {
  const tabs = $('tabs');
  tabs.replaceChildren();
  for (const name of orderedNames(page.program)) {
    const tab = document.createElement('button');
    tab.className = 'tab' + (name === page.active ? ' active' : '') + (name === page.program.main ? ' main' : '');
    tab.textContent = name;
    tab.dataset.file = name;
    tab.onclick = () => select(name);
    tabs.append(tab);
    if (name !== page.program.main) {
      const close = document.createElement('button');
      close.className = 'close';
      close.title = `remove ${name}`;
      close.textContent = '\u00d7';
      close.onclick = () => removeFile(name);
      tabs.append(close);
    }
  }
  const add = document.createElement('button');
  add.id = 'add-file';
  add.textContent = '+ file';
  add.onclick = addFile;
  tabs.append(add);
}

function addFile() {
  const name = prompt('Name of the new file (for instance regs.inc):', '');
  if (!name) return;
  if (!isPlainName(name) || Object.hasOwn(page.program.files, name)) {
    alert(`${name}: a file needs a new plain name (letters, digits, '_', '.', '-', '+')`);
    return;
  }
  page.program.files[name] = '';
  page.states.set(name, editorState(name, ''));
  select(name);
  run();
}

function removeFile(name) {
  if (!confirm(`Remove ${name} from the program?`)) return;
  delete page.program.files[name];
  page.states.delete(name);
  if (page.active === name) page.active = '';
  select(page.program.main);
  run();
}

function openProgram(program) {
  page.program = { main: program.main, files: { ...program.files } };
  page.states = new Map(Object.entries(page.program.files).map(([name, text]) => [name, editorState(name, text)]));
  page.active = '';
  select(program.main);
  run();
}

function download(which) {
  const name = page.outputs[which];
  if (!name) return;
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([page.outputs.texts[name]], { type: 'text/plain' }));
  link.download = name;
  link.click();
  URL.revokeObjectURL(link.href);
}

function share() {
  const link = `${location.origin}${location.pathname}#${encodeProgram(page.program)}`;
  $('share-link').value = link;
  history.replaceState(null, '', link);
  if (navigator.clipboard) navigator.clipboard.writeText(link).catch(() => {});
}

async function start() {
  startWorker();
  page.view = new EditorView({ parent: $('editor') });
  const examples = await (await fetch('examples.json')).json();
  for (const name of Object.keys(examples)) {
    const option = document.createElement('option');
    option.value = name;
    option.textContent = name;
    $('example').append(option);
  }
  $('example').onchange = () => {
    if (examples[$('example').value]) openProgram(examples[$('example').value]);
  };
  $('download-lst').onclick = () => download('lst');
  $('download-hex').onclick = () => download('hex');
  $('share').onclick = share;
  // The program a link holds; the first example when it holds none.
  const fromLink = () => {
    const shared = location.hash.length > 1 ? decodeProgram(location.hash) : null;
    $('notice').textContent = location.hash.length > 1 && !shared ? 'the link holds no program' : '';
    $('example').value = shared ? '' : Object.keys(examples)[0];
    return shared || examples[Object.keys(examples)[0]];
  };
  window.addEventListener('hashchange', () => openProgram(fromLink()));
  openProgram(fromLink());
}

start();
